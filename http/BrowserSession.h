#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QObject>
#include <QString>
#include <QUrl>

namespace pxt {

// What the program borrows of the user's browser session for one run: the cookies of the galleries
// grabbed, and which gallery page each harvested thumbnail and picture came from (its Referer).
// Held in memory only; nothing of it is ever written to a file or a log.
//
// The embedded views and the size probe ask it at each request: the probe for the Cookie and Referer
// lines, the views' request interceptor for the Referer. Lookups may come from any thread.
class BrowserSession : public QObject {
    Q_OBJECT
public:
    explicit BrowserSession(QObject* parent = nullptr);
    ~BrowserSession() override;

    // Off: everything borrowed so far is dropped (cleared() is emitted), and nothing is taken or
    // handed out until it is on again.
    void setEnabled(bool enabled);
    bool enabled() const;

    // Adds the cookies (a newer one replaces the one of the same name, domain and path).
    void addCookies(const QList<QNetworkCookie>& cookies);
    // The cookies a browser would send to the address: domain, path, Secure and expiry rules.
    QList<QNetworkCookie> cookiesFor(const QUrl& url) const;
    // Those cookies as the value of a Cookie line ("a=1; b=2"); empty when none applies.
    QByteArray cookieHeader(const QUrl& url) const;

    // The resource (a thumbnail, a picture, a linked page) was found on the page: requests for it
    // carry the page's address as Referer. A later page replaces an earlier one.
    void addReferer(const QString& resource, const QString& page);
    // The Referer for a request of the address; empty when it has none. A page on https is not named
    // to an address on http, as browsers do.
    QString refererFor(const QUrl& url) const;

    // The address a cookie applies to (its domain's root on https or http), for cookie stores that want
    // an origin beside the cookie.
    static QUrl cookieOrigin(const QNetworkCookie& cookie);

Q_SIGNALS:
    // The cookies just added, for the views' cookie store.
    void cookiesAdded(const QList<QNetworkCookie>& cookies);
    // Everything borrowed was dropped.
    void cleared();

private:
    static QString key(const QUrl& url);

    class Jar : public QNetworkCookieJar {
    public:
        using QNetworkCookieJar::allCookies;
        using QNetworkCookieJar::setAllCookies;
    };

    mutable QMutex m_mutex;
    bool m_enabled = true;
    Jar m_jar;
    QHash<QString, QString> m_referers;
};

} // namespace pxt
