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
class CookieJar {
public:
    // Adds the cookie; it replaces the one of the same name, domain and path.
    void insert(const QNetworkCookie& cookie);
    void clear();
    // The cookies for a request of the address, the longest path first.
    QList<QNetworkCookie> cookiesFor(const QUrl& url) const;

    // The cookies a browser would send with a request for any of the addresses, each once, in their
    // given order. Only http and https addresses have cookies.
    static QList<QNetworkCookie> matching(const QList<QNetworkCookie>& cookies, const QList<QUrl>& urls);

private:
    class Jar : public QNetworkCookieJar {
    public:
        using QNetworkCookieJar::setAllCookies;
    };

    Jar m_jar;
};

} // namespace pxt
