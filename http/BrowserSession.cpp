#include "http/BrowserSession.h"

#include <QMutexLocker>

namespace pxt {

BrowserSession::BrowserSession(QObject* parent) : QObject(parent) {}

BrowserSession::~BrowserSession() = default;

void BrowserSession::setEnabled(bool enabled)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_enabled == enabled)
            return;
        m_enabled = enabled;
        if (enabled)
            return;
        m_jar.clear();
        m_referers.clear();
    }
    Q_EMIT cleared();
}

bool BrowserSession::enabled() const
{
    QMutexLocker lock(&m_mutex);
    return m_enabled;
}

void BrowserSession::addCookies(const QList<QNetworkCookie>& cookies)
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_enabled || cookies.isEmpty())
            return;
        for (const QNetworkCookie& cookie : cookies)
            m_jar.insert(cookie);
    }
    Q_EMIT cookiesAdded(cookies);
}

QList<QNetworkCookie> BrowserSession::cookiesFor(const QUrl& url, const QUrl& page) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_enabled)
        return {};
    return m_jar.cookiesFor(url, page);
}

QByteArray BrowserSession::cookieHeader(const QUrl& url, const QUrl& page) const
{
    return CookieJar::headerValue(cookiesFor(url, page));
}

QString BrowserSession::key(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveFragment | QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded);
}

void BrowserSession::addReferer(const QString& resource, const QString& page, ReferrerPolicy policy)
{
    const QUrl url(resource);
    const QUrl from(page);
    if (!url.isValid() || url.isRelative() || !from.isValid() || from.isRelative())
        return;
    const QString scheme = from.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return;
    QMutexLocker lock(&m_mutex);
    if (m_enabled)
        m_referers.insert(key(url), RefererSource {from.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo), policy});
}

BrowserSession::RefererSource BrowserSession::refererSource(const QUrl& url) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_enabled)
        return {};
    return m_referers.value(key(url));
}

QString BrowserSession::refererFor(const QUrl& url) const
{
    return refererSource(url).refererFor(url);
}

BrowserSession::StoreCookie BrowserSession::storeCookie(const QNetworkCookie& cookie)
{
    QString host = cookie.domain();
    const bool hostOnly = !host.startsWith(QLatin1Char('.'));
    if (!hostOnly)
        host.remove(0, 1);
    StoreCookie out {cookie, {}};
    // A store reads a domain in the cookie as "this domain and its subdomains", with or without a dot.
    if (hostOnly)
        out.cookie.setDomain(QString());
    out.origin.setScheme(cookie.isSecure() ? QStringLiteral("https") : QStringLiteral("http"));
    out.origin.setHost(host);
    out.origin.setPath(cookie.path().isEmpty() ? QStringLiteral("/") : cookie.path());
    return out;
}

} // namespace pxt
