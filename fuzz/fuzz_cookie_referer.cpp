// What a grab borrows of the browser's session, given to a request: the cookies, matched against the
// addresses (CookieJar::matching, as a window's cookies are read, and the session's jar), and the
// Referer a page gives to a request of an address under each referrer policy.
//
// The text is lines: "c <name> <domain> <path> <flags> <expiry>" is a cookie ("-" an empty field;
// flags: s Secure, h HttpOnly, x/l/n SameSite strict/lax/none; expiry in seconds from now, "-" or
// none a session cookie); every other line is an address, each one a page and a target of the others.
#include "core/ReferrerPolicy.h"
#include "http/CookieJar.h"
#include "http/Site.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qsizetype kMaxCookies = 32;
constexpr qsizetype kMaxAddresses = 16;
// Pages and targets of the Referer: the first this many addresses, each with each.
constexpr qsizetype kMaxRefererAddresses = 8;

[[noreturn]] void fail(const char* what, const QNetworkCookie* cookie, const QUrl& url, const QString& more = {})
{
    std::fprintf(stderr, "%s\n  address: %s\n", what, qPrintable(url.toString()));
    if (cookie)
        std::fprintf(stderr, "  cookie: %s\n", cookie->toRawForm().constData());
    if (!more.isEmpty())
        std::fprintf(stderr, "  %s\n", qPrintable(more));
    std::abort();
}

QNetworkCookie cookieFrom(const QStringList& fields)
{
    auto field = [&](qsizetype i) {
        const QString f = fields.value(i);
        return f == QLatin1String("-") ? QString() : f;
    };
    QNetworkCookie c(field(1).toUtf8(), QByteArrayLiteral("v"));
    c.setDomain(field(2));
    c.setPath(field(3));
    const QString flags = field(4);
    c.setSecure(flags.contains(QLatin1Char('s')));
    c.setHttpOnly(flags.contains(QLatin1Char('h')));
    if (flags.contains(QLatin1Char('x')))
        c.setSameSitePolicy(QNetworkCookie::SameSite::Strict);
    else if (flags.contains(QLatin1Char('l')))
        c.setSameSitePolicy(QNetworkCookie::SameSite::Lax);
    else if (flags.contains(QLatin1Char('n')))
        c.setSameSitePolicy(QNetworkCookie::SameSite::None);
    bool ok = false;
    const qint64 seconds = field(5).toLongLong(&ok);
    if (ok)
        c.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(std::clamp<qint64>(seconds, -1e11, 1e11)));
    return c;
}

// Host names the same: without regard to case, or in their ASCII form (as an address gives its host).
bool sameHost(const QString& a, const QString& b)
{
    if (a.compare(b, Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray aceA = QUrl::toAce(a);
    return !aceA.isEmpty() && aceA.compare(QUrl::toAce(b), Qt::CaseInsensitive) == 0;
}

bool endsWithHost(const QString& host, const QString& domain)
{
    const QString dotted = QLatin1Char('.') + domain;
    if (host.endsWith(dotted, Qt::CaseInsensitive))
        return true;
    const QByteArray aceHost = QUrl::toAce(host);
    const QByteArray aceDomain = QUrl::toAce(domain);
    return !aceHost.isEmpty() && !aceDomain.isEmpty() && aceHost.toLower().endsWith('.' + aceDomain.toLower());
}

bool isWeb(const QUrl& url)
{
    return (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && !url.host().isEmpty();
}

bool plainAscii(const QString& s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f && c != u'%'; });
}

// Every cookie given for the address is one a browser would send there.
void checkSent(const QNetworkCookie& c, const QUrl& url, const QDateTime& before)
{
    if (!isWeb(url))
        fail("a cookie for an address that is no web page's", &c, url);
    const QString host = url.host();
    const QString domain = c.domain();
    if (domain.startsWith(QLatin1Char('.'))) {
        const QString d = domain.mid(1);
        if (!sameHost(host, d) && !endsWithHost(host, d))
            fail("a domain cookie for a host outside its domain", &c, url);
    } else if (!sameHost(host, domain)) {
        fail("a host-only cookie for another host", &c, url);
    }
    if (c.isSecure() && url.scheme() != QLatin1String("https"))
        fail("a Secure cookie over plain http", &c, url);
    if (!c.isSessionCookie() && c.expirationDate() < before)
        fail("an expired cookie", &c, url);
    const QString path = url.path().isEmpty() ? QStringLiteral("/") : url.path();
    const QString cookiePath = c.path().isEmpty() ? QStringLiteral("/") : c.path();
    if (plainAscii(path) && plainAscii(cookiePath)
        && !(path == cookiePath
             || (path.startsWith(cookiePath) && (cookiePath.endsWith(u'/') || path.at(cookiePath.size()) == u'/'))))
        fail("a cookie for an address outside its path", &c, url);
}

// A cookie of exactly the address's host, for every path, unexpired and Secure only where it may
// be: a browser sends it.
bool surelySent(const QNetworkCookie& c, const QUrl& url, const QDateTime& before)
{
    return isWeb(url) && url.isValid() && !c.domain().startsWith(QLatin1Char('.')) && sameHost(url.host(), c.domain())
           && (c.path().isEmpty() || c.path() == QLatin1String("/"))
           && (!c.isSecure() || url.scheme() == QLatin1String("https"))
           && (c.isSessionCookie() || c.expirationDate() > before.addSecs(3600));
}

// A cookie's name, domain and path, the domain in the form sameHost compares.
QString identity(const QNetworkCookie& c)
{
    QString domain = c.domain();
    const bool dot = domain.startsWith(QLatin1Char('.'));
    if (dot)
        domain.remove(0, 1);
    const QByteArray ace = QUrl::toAce(domain);
    return QString::fromUtf8(c.name()) + QLatin1Char('\n') + (dot ? QStringLiteral(".") : QString())
           + (ace.isEmpty() ? domain.toLower() : QString::fromLatin1(ace.toLower())) + QLatin1Char('\n')
           + (c.path().isEmpty() ? QStringLiteral("/") : c.path());
}

void checkCookies(const QList<QNetworkCookie>& cookies, const QList<QUrl>& urls)
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    // The session's jar keeps the last cookie of each name, domain and path.
    pxt::CookieJar jar;
    QHash<QString, QNetworkCookie> last;
    for (const QNetworkCookie& c : cookies) {
        jar.insert(c);
        last.insert(identity(c), c);
    }
    for (const QUrl& url : urls) {
        const QList<QNetworkCookie> matched = pxt::CookieJar::matching(cookies, {url});
        for (const QNetworkCookie& c : matched)
            checkSent(c, url, before);
        for (const QNetworkCookie& c : cookies) {
            if (surelySent(c, url, before) && !matched.contains(c))
                fail("a cookie of the address's own host is not sent there", &c, url);
        }
        // The session's jar is asked about web addresses only.
        if (!isWeb(url))
            continue;
        // In the name of the address's own page: same-site, every cookie that matches. In the name of
        // each other address's page: another site gets only SameSite=None cookies, and never one the
        // address's own page would not get.
        const QList<QNetworkCookie> fromJar = jar.cookiesFor(url, url);
        for (const QUrl& page : urls) {
            const QList<QNetworkCookie> fromPage = jar.cookiesFor(url, page);
            for (const QNetworkCookie& c : fromPage) {
                if (!fromJar.contains(c))
                    fail("a page's request gets a cookie the address's own page would not", &c, url);
                if (!pxt::isSameSite(page, url) && c.sameSitePolicy() != QNetworkCookie::SameSite::None)
                    fail("another site's page gets a cookie that is not SameSite=None", &c, url);
            }
        }
        QStringList seen;
        for (const QNetworkCookie& c : fromJar) {
            checkSent(c, url, before);
            const QString id = identity(c);
            if (seen.contains(id))
                fail("the jar gives two cookies of one name, domain and path", &c, url);
            seen << id;
            const QNetworkCookie& newest = last[id];
            if (c.name() != newest.name() || c.isSecure() != newest.isSecure()
                || c.expirationDate() != newest.expirationDate() || c.sameSitePolicy() != newest.sameSitePolicy())
                fail("the jar gives a cookie that a later one replaced", &c, url);
        }
        for (const QNetworkCookie& c : std::as_const(last)) {
            if (surelySent(c, url, before) && !seen.contains(identity(c)))
                fail("the jar does not give a cookie of the address's own host", &c, url);
        }
    }
}

int defaultPort(const QUrl& url)
{
    if (url.scheme() == QLatin1String("https"))
        return 443;
    return url.scheme() == QLatin1String("http") ? 80 : -1;
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
           && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

void checkReferer(const QUrl& page, const QUrl& target)
{
    using pxt::ReferrerPolicy;
    const bool crossOrigin = !sameOrigin(page, target);
    const bool downgrade = page.scheme() == QLatin1String("https") && target.scheme() == QLatin1String("http");
    for (int p = int(ReferrerPolicy::Unset); p <= int(ReferrerPolicy::UnsafeUrl); ++p) {
        const auto policy = ReferrerPolicy(p);
        const QString referer = pxt::referrerFor(page, policy, target);
        if (referer.isEmpty())
            continue;
        const QString about = QStringLiteral("target: %1, policy %2, Referer: %3").arg(target.toString()).arg(p).arg(referer);
        const QUrl r(referer, QUrl::StrictMode);
        // Only a web page is named, always the page itself, never with its user or fragment.
        if (!r.isValid() || !isWeb(r) || !sameOrigin(r, page) || !r.userInfo().isEmpty() || r.hasFragment()
            || referer.contains(QLatin1Char('#')))
            fail("a Referer that is not the page without its user and fragment", nullptr, page, about);
        const bool originOnly = r.path() == QLatin1String("/") && !r.hasQuery();
        switch (policy) {
        case ReferrerPolicy::Unset:
        case ReferrerPolicy::StrictOriginWhenCrossOrigin:
            if (downgrade || (crossOrigin && !originOnly))
                fail("under the default policy, more than the origin to another origin, or anything to plain http",
                     nullptr, page, about);
            break;
        case ReferrerPolicy::NoReferrer:
            fail("a Referer under no-referrer", nullptr, page, about);
        case ReferrerPolicy::Origin:
        case ReferrerPolicy::StrictOrigin:
            if (!originOnly || (policy == ReferrerPolicy::StrictOrigin && downgrade))
                fail("more than the origin under an origin policy", nullptr, page, about);
            break;
        case ReferrerPolicy::SameOrigin:
            if (crossOrigin)
                fail("a Referer to another origin under same-origin", nullptr, page, about);
            break;
        case ReferrerPolicy::OriginWhenCrossOrigin:
            if (crossOrigin && !originOnly)
                fail("more than the origin to another origin", nullptr, page, about);
            break;
        case ReferrerPolicy::NoReferrerWhenDowngrade:
            if (downgrade)
                fail("a Referer from https to plain http", nullptr, page, about);
            break;
        case ReferrerPolicy::UnsafeUrl: break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<QNetworkCookie> cookies;
    QList<QUrl> urls;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("c "))) {
            if (cookies.size() < kMaxCookies)
                cookies << cookieFrom(line.split(QLatin1Char(' ')));
        } else if (!line.isEmpty() && urls.size() < kMaxAddresses) {
            urls << QUrl(line);
        }
    }
    checkCookies(cookies, urls);
    for (qsizetype i = 0; i < std::min(urls.size(), kMaxRefererAddresses); ++i) {
        for (qsizetype k = 0; k < std::min(urls.size(), kMaxRefererAddresses); ++k)
            checkReferer(urls[i], urls[k]);
    }
    return 0;
}
