#include "http/CookieJar.h"

namespace pxt {

namespace {

// The jar compares domains as they are, where a browser ignores case; and it gives a cookie without
// a path to no address without one, where a browser takes both as "/".
QNetworkCookie normalized(QNetworkCookie cookie)
{
    cookie.setDomain(cookie.domain().toLower());
    if (cookie.path().isEmpty())
        cookie.setPath(QStringLiteral("/"));
    return cookie;
}

} // namespace

void CookieJar::insert(const QNetworkCookie& cookie)
{
    const QNetworkCookie c = normalized(cookie);
    m_jar.deleteCookie(c);
    m_jar.insertCookie(c);
}

void CookieJar::clear() { m_jar.setAllCookies({}); }

QList<QNetworkCookie> CookieJar::cookiesFor(const QUrl& url) const { return m_jar.cookiesForUrl(url); }

QList<QNetworkCookie> CookieJar::matching(const QList<QNetworkCookie>& cookies, const QList<QUrl>& urls)
{
    // All of them, none replacing another: each one given is answered for.
    QList<QNetworkCookie> asked;
    for (const QNetworkCookie& cookie : cookies)
        asked << normalized(cookie);
    Jar jar;
    jar.setAllCookies(asked);
    QList<QNetworkCookie> sent;
    for (const QUrl& url : urls) {
        // The jar would also give cookies to other schemes (ws, ftp), and to an address without a host.
        if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && !url.host().isEmpty())
            sent << jar.cookiesForUrl(url);
    }
    QList<QNetworkCookie> out;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        if (sent.contains(asked[i]))
            out << cookies[i];
    }
    return out;
}

} // namespace pxt
