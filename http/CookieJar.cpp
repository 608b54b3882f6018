#include "http/CookieJar.h"

namespace pxt {

namespace {

// A domain in the form an address gives its host: an international name as QUrl shows it (in its own
// letters for many top-level domains), where a browser's store keeps the ASCII form; lower case.
QString hostForm(const QString& domain)
{
    const QByteArray ace = QUrl::toAce(domain);
    return ace.isEmpty() ? domain.toLower() : QUrl::fromAce(ace);
}

// The jar compares domains as they are, where a browser ignores case and the form of an international
// name; and it gives a cookie without a path to no address without one, where a browser takes both
// as "/".
QNetworkCookie normalized(QNetworkCookie cookie)
{
    const QString domain = cookie.domain();
    if (domain.startsWith(QLatin1Char('.')))
        cookie.setDomain(QLatin1Char('.') + hostForm(domain.mid(1)));
    else
        cookie.setDomain(hostForm(domain));
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
