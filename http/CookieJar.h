#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

namespace pxt {

// Cookies matched against addresses as a browser sends them, by QNetworkCookieJar's rules: a cookie
// without a leading dot in its domain goes to that host alone, one with it to the domain and its
// subdomains (never to all hosts under an effective top-level domain); its path is a prefix of the
// address's ending at a '/'; a Secure one goes over https only; an expired one goes nowhere. Domains
// are compared without regard to case, an international one in its ASCII form or its own letters alike.
//
// A request goes in the name of a page (the gallery page a thumbnail came from): a same-site request
// (Site.h) gets every cookie the address matches, a cross-site one only those marked SameSite=None. A
// cookie that says nothing of SameSite counts as Lax, as Chromium takes it.
class CookieJar {
public:
    // Adds the cookie; it replaces the one of the same name, domain and path.
    void insert(const QNetworkCookie& cookie);
    // Takes the cookies of a response of the address as a browser does: one without a domain is the
    // address's host's alone, one whose domain does not cover the host or is a public suffix is dropped.
    void insertFromResponse(const QList<QNetworkCookie>& cookies, const QUrl& url);
    void clear();
    // The cookies for a request of the address made in the name of the page, the longest path first.
    QList<QNetworkCookie> cookiesFor(const QUrl& url, const QUrl& page) const;

    // The value of a Cookie line of the cookies ("a=1; b=2"); empty for none.
    static QByteArray headerValue(const QList<QNetworkCookie>& cookies);

    // The cookies a browser would send with a request for any of the addresses, each once, in their
    // given order. Only http and https addresses have cookies.
    static QList<QNetworkCookie> matching(const QList<QNetworkCookie>& cookies, const QList<QUrl>& urls);

private:
    class Jar : public QNetworkCookieJar {
    public:
        using QNetworkCookieJar::setAllCookies;
        using QNetworkCookieJar::validateCookie;
    };

    Jar m_jar;
};

} // namespace pxt
