#include "http/CookieJar.h"

#include "core/WebAddress.h"
#include "http/Site.h"

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

void CookieJar::insertFromResponse(const QList<QNetworkCookie>& cookies, const QUrl& url)
{
    for (QNetworkCookie cookie : cookies) {
        // Filled in and checked as the jar does for a response: a missing domain becomes the host
        // without a leading dot (host-only), a missing path the address's folder.
        cookie.normalize(url);
        if (m_jar.validateCookie(cookie, url))
            insert(cookie);
    }
}

void CookieJar::clear() { m_jar.setAllCookies({}); }

QList<QNetworkCookie> CookieJar::cookiesFor(const QUrl& url, const QUrl& page) const
{
    if (!isWebAddress(url))
        return {};
    QList<QNetworkCookie> cookies = m_jar.cookiesForUrl(url);
    if (!isSameSite(page, url)) {
        cookies.removeIf([](const QNetworkCookie& cookie) {
            return cookie.sameSitePolicy() != QNetworkCookie::SameSite::None;
        });
    }
    return cookies;
}

QByteArray CookieJar::headerValue(const QList<QNetworkCookie>& cookies)
{
    QByteArray header;
    for (const QNetworkCookie& cookie : cookies) {
        if (!header.isEmpty())
            header += "; ";
        header += cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    return header;
}

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
        if (isWebAddress(url))
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
