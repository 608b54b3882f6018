#include "http/BrowserSession.h"

#include <QDateTime>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace pxt;

namespace {

QNetworkCookie cookie(const char* name, const QString& domain, const QString& path = QStringLiteral("/"),
                      bool secure = false, int expiresInSeconds = 0)
{
    QNetworkCookie c(name, "v");
    c.setDomain(domain);
    c.setPath(path);
    c.setSecure(secure);
    if (expiresInSeconds != 0)
        c.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(expiresInSeconds));
    return c;
}

} // namespace

TEST(BrowserSession, CookiesGoWhereABrowserSendsThem)
{
    BrowserSession session;
    const auto sameSite = [](const char* name, QNetworkCookie::SameSite policy) {
        QNetworkCookie c = cookie(name, QStringLiteral(".example.com"));
        c.setSameSitePolicy(policy);
        return c;
    };
    session.addCookies({
        cookie("host", QStringLiteral("example.com")),           // this host only
        cookie("domain", QStringLiteral(".example.com")),        // and its subdomains
        cookie("members", QStringLiteral(".example.com"), QStringLiteral("/members")),
        cookie("secure", QStringLiteral(".example.com"), QStringLiteral("/"), true),
        cookie("expired", QStringLiteral(".example.com"), QStringLiteral("/"), false, -60),
        cookie("later", QStringLiteral(".example.com"), QStringLiteral("/"), false, 3600),
        cookie("other", QStringLiteral("other.org")),
        sameSite("strict", QNetworkCookie::SameSite::Strict),
        sameSite("none", QNetworkCookie::SameSite::None),
    });
    struct Case {
        const char* url;
        const char* page; // the gallery page the picture was found on
        QByteArray header;
    };
    const char* gallery = "http://www.example.com/album.html";
    const Case cases[] = {
        {"http://example.com/a.jpg", gallery, "host=v; domain=v; later=v; strict=v; none=v"},
        {"http://img.example.com/a.jpg", gallery, "domain=v; later=v; strict=v; none=v"},
        {"http://example.com/members/a.jpg", gallery, "members=v; host=v; domain=v; later=v; strict=v; none=v"},
        {"http://example.com/membersonly/a.jpg", gallery, "host=v; domain=v; later=v; strict=v; none=v"},
        {"http://badexample.com/a.jpg", gallery, ""},
        {"http://example.com.evil.net/a.jpg", gallery, ""},
        {"http://other.org/", "http://other.org/", "other=v"},
        {"ftp://example.com/a.jpg", gallery, ""},
        {"https://example.com/a.jpg", "https://example.com/", "host=v; domain=v; secure=v; later=v; strict=v; none=v"},
        // From another site's page only what is marked SameSite=None; http and https are two sites.
        {"http://example.com/a.jpg", "http://other.org/", "none=v"},
        {"http://other.org/", gallery, ""},
        {"https://example.com/a.jpg", gallery, "none=v"},
        {"http://example.com/a.jpg", "", "none=v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " from " + c.page);
        EXPECT_EQ(session.cookieHeader(QUrl(QString::fromLatin1(c.url)), QUrl(QString::fromLatin1(c.page))), c.header);
    }
}

// A cookie store that takes a cookie with an origin reads any domain in it as "and the subdomains":
// a cookie of one host goes to it without one.
TEST(BrowserSession, StoreCookiesStayWithTheirHost)
{
    const struct {
        QNetworkCookie cookie;
        const char* origin;
        bool domainInRawForm;
    } cases[] = {
        {cookie("host", QStringLiteral("example.com"), QStringLiteral("/pics")), "http://example.com/pics", false},
        {cookie("domain", QStringLiteral(".example.com")), "http://example.com/", true},
        {cookie("secure", QStringLiteral("img.example.com"), QStringLiteral("/"), true), "https://img.example.com/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cookie.name().constData());
        const BrowserSession::StoreCookie stored = BrowserSession::storeCookie(c.cookie);
        EXPECT_EQ(stored.origin, QUrl(QString::fromLatin1(c.origin)));
        EXPECT_EQ(stored.cookie.toRawForm().toLower().contains("domain="), c.domainInRawForm)
            << stored.cookie.toRawForm().constData();
        EXPECT_EQ(stored.cookie.name(), c.cookie.name());
        EXPECT_EQ(stored.cookie.path(), c.cookie.path());
        EXPECT_EQ(stored.cookie.isSecure(), c.cookie.isSecure());
    }
}

TEST(BrowserSession, ANewerCookieReplacesTheOldOne)
{
    BrowserSession session;
    session.addCookies({cookie("sid", QStringLiteral("example.com"))});
    QNetworkCookie newer = cookie("sid", QStringLiteral("example.com"));
    newer.setValue("w");
    session.addCookies({newer});
    EXPECT_EQ(session.cookieHeader(QUrl(QStringLiteral("http://example.com/")), QUrl(QStringLiteral("http://example.com/"))), "sid=w");
}

TEST(BrowserSession, EachResourceKeepsThePageItCameFromAndItsPolicy)
{
    BrowserSession session;
    session.addReferer(QStringLiteral("http://img.example.com/t1.jpg"), QStringLiteral("http://example.com/g1.html#top"),
                       ReferrerPolicy::UnsafeUrl);
    session.addReferer(QStringLiteral("http://img.example.com/t2.jpg"), QStringLiteral("https://example.com/g2.html"),
                       ReferrerPolicy::UnsafeUrl);
    session.addReferer(QStringLiteral("https://img.example.com/t3.jpg"), QStringLiteral("https://example.com/g2.html"));
    session.addReferer(QStringLiteral("http://img.example.com/t4.jpg"), QStringLiteral("file:///home/u/thumbs.html"));
    session.addReferer(QStringLiteral("https://example.com/t5.jpg"), QStringLiteral("https://example.com/g2.html?k=1"));
    session.addReferer(QStringLiteral("https://example.com/t6.jpg"), QStringLiteral("https://example.com/g2.html"),
                       ReferrerPolicy::NoReferrer);
    struct Case {
        const char* url;
        const char* referer;
    };
    const Case cases[] = {
        {"http://img.example.com/t1.jpg", "http://example.com/g1.html"},
        {"http://img.example.com/t1.jpg#x", "http://example.com/g1.html"},
        {"http://IMG.example.com/t1.jpg", "http://example.com/g1.html"},
        {"http://img.example.com/t2.jpg", "https://example.com/g2.html"}, // as the page's policy says
        {"https://img.example.com/t3.jpg", "https://example.com/"},       // the default: the origin to another site
        {"http://img.example.com/t4.jpg", ""},                            // only web pages are named
        {"https://example.com/t5.jpg", "https://example.com/g2.html?k=1"}, // the whole address to its own origin
        {"https://example.com/t6.jpg", ""},
        {"http://img.example.com/unknown.jpg", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(session.refererFor(QUrl(QString::fromLatin1(c.url))), QString::fromLatin1(c.referer));
    }
}

TEST(BrowserSession, OffDropsEverythingAndTakesNothing)
{
    BrowserSession session;
    QSignalSpy cleared(&session, &BrowserSession::cleared);
    QSignalSpy added(&session, &BrowserSession::cookiesAdded);
    session.addCookies({cookie("sid", QStringLiteral("example.com"))});
    session.addReferer(QStringLiteral("http://example.com/a.jpg"), QStringLiteral("http://example.com/"));
    EXPECT_EQ(added.size(), 1);

    session.setEnabled(false);
    EXPECT_EQ(cleared.size(), 1);
    session.addCookies({cookie("sid", QStringLiteral("example.com"))});
    session.addReferer(QStringLiteral("http://example.com/a.jpg"), QStringLiteral("http://example.com/"));
    EXPECT_EQ(added.size(), 1);
    session.setEnabled(true);
    EXPECT_EQ(session.cookieHeader(QUrl(QStringLiteral("http://example.com/a.jpg")), QUrl(QStringLiteral("http://example.com/"))), "");
    EXPECT_EQ(session.refererFor(QUrl(QStringLiteral("http://example.com/a.jpg"))), "");
}
