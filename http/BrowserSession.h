#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QNetworkCookie>
#include <QObject>
#include <QString>
#include <QUrl>

#include "core/ReferrerPolicy.h"
#include "http/CookieJar.h"

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
    // The cookies a browser would send with a request of the address made in the name of the page
    // (CookieJar), the longest path first.
    QList<QNetworkCookie> cookiesFor(const QUrl& url, const QUrl& page) const;
    // Those cookies as the value of a Cookie line ("a=1; b=2"); empty when none applies.
    QByteArray cookieHeader(const QUrl& url, const QUrl& page) const;

    // Where a request for a resource comes from: the page it was found on and the referrer policy
    // that page gave it.
    struct RefererSource {
        QUrl page;
        ReferrerPolicy policy = ReferrerPolicy::Unset;
        bool isEmpty() const { return page.isEmpty(); }
        // The Referer of a request of target from here (also of each address a redirect leads to).
        QString refererFor(const QUrl& target) const { return referrerFor(page, policy, target); }
    };

    // The resource (a thumbnail, a picture, a linked page) was found on the page, under the policy:
    // requests for it carry the Referer a browser would send from there. A later page replaces an
    // earlier one.
    void addReferer(const QString& resource, const QString& page, ReferrerPolicy policy = ReferrerPolicy::Unset);
    // Where a request of the address comes from; empty when the session does not know it.
    RefererSource refererSource(const QUrl& url) const;
    // The Referer for a request of the address; empty when it has none.
    QString refererFor(const QUrl& url) const;

    // A cookie as a cookie store that takes a cookie with an origin wants it: the origin (its host's
    // root on https or http) and, for a cookie of that host alone, no domain, so that the store keeps
    // it to that host and does not give it to the host's subdomains too.
    struct StoreCookie {
        QNetworkCookie cookie;
        QUrl origin;
    };
    static StoreCookie storeCookie(const QNetworkCookie& cookie);

Q_SIGNALS:
    // The cookies just added, for the views' cookie store.
    void cookiesAdded(const QList<QNetworkCookie>& cookies);
    // Everything borrowed was dropped.
    void cleared();

private:
    static QString key(const QUrl& url);

    mutable QMutex m_mutex;
    bool m_enabled = true;
    CookieJar m_jar;
    QHash<QString, RefererSource> m_referers;
};

} // namespace pxt
