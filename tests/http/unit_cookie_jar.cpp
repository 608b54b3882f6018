#include "http/CookieJar.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace pxt;

// RFC 6265 matching: domain, path and secure; each cookie once, in the browser's order.
TEST(CookieJar, MatchedAgainstTheAddresses)
{
    auto make = [](const char* name, const char* domain, const char* path, bool secure = false) {
        QNetworkCookie c(name, "dummy");
        c.setDomain(domain);
        c.setPath(path);
        c.setSecure(secure);
        return c;
    };
    const QList<QNetworkCookie> all = {make("hostonly", "example.org", "/"), make("dot", ".example.org", "/"),
                                       make("pics", "example.org", "/pics"), make("picsslash", "example.org", "/pics/"),
                                       make("secure", "example.org", "/", true), make("nopath", "example.org", "")};
    struct Case {
        const char* url;
        QStringList expected;
    };
    const Case cases[] = {
        {"http://example.org/", {"hostonly", "dot", "nopath"}},
        {"http://EXAMPLE.org/pics", {"hostonly", "dot", "pics", "nopath"}},
        {"http://example.org/pics/1.jpg", {"hostonly", "dot", "pics", "picsslash", "nopath"}},
        {"http://example.org/pictures/", {"hostonly", "dot", "nopath"}},
        {"https://example.org/", {"hostonly", "dot", "secure", "nopath"}},
        {"http://sub.example.org/pics/", {"dot"}},
        {"http://badexample.org/", {}},
        {"ftp://example.org/", {}},
        {"file:///pics/1.jpg", {}},
    };
    for (const Case& c : cases) {
        QStringList names;
        for (const QNetworkCookie& k : CookieJar::matching(all, {QUrl(QString::fromLatin1(c.url))}))
            names << QString::fromUtf8(k.name());
        EXPECT_EQ(names, c.expected) << c.url;
    }
    EXPECT_EQ(CookieJar::matching(all, {QUrl("http://example.org/"), QUrl("http://example.org/pics/")}).size(), 5)
        << "each once";
    EXPECT_TRUE(CookieJar::matching(all, {}).isEmpty());
}

// Where the jar's rules go past a plain domain and path match, as a browser's do.
TEST(CookieJar, OnlyWhatABrowserWouldSend)
{
    auto make = [](const char* domain, bool secure = false, int expiresInSeconds = 0, const char* path = "/") {
        QNetworkCookie c("c", "v");
        c.setDomain(domain);
        c.setPath(path);
        c.setSecure(secure);
        if (expiresInSeconds != 0)
            c.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(expiresInSeconds));
        return c;
    };
    struct Case {
        const char* name;
        QNetworkCookie cookie;
        const char* url;
        bool sent;
    };
    const Case cases[] = {
        {"expired", make("example.org", false, -60), "http://example.org/", false},
        {"expires later", make("example.org", false, 3600), "http://example.org/", true},
        {"a domain cookie of a top-level domain", make(".org"), "http://example.org/", false},
        {"a domain cookie of a public suffix", make(".co.uk"), "http://example.co.uk/", false},
        {"a domain cookie below a public suffix", make(".example.co.uk"), "http://www.example.co.uk/", true},
        {"a domain in capitals", make("Example.ORG"), "http://example.org/", true},
        {"a scheme in capitals", make("example.org", true), "HTTPS://example.org/", true},
        {"no path to an address without one", make("example.org", false, 0, ""), "http://example.org", true},
        {"Secure over an encrypted socket that is no web page", make("example.org", true), "wss://example.org/", false},
        {"an address without a host", make(""), "http:///pics/", false},
        // A browser keeps an international domain in its ASCII form; an address shows it in its own
        // letters for many top-level domains.
        {"an international host, the domain in ASCII", make("xn--bcher-kva.de"), "http://xn--bcher-kva.de/", true},
        {"a domain cookie of an international domain", make(".xn--bcher-kva.de"), "https://www.xn--bcher-kva.de/", true},
        {"an international domain in its own letters and capitals", make("B\xC3\x9C" "CHER.de"),
         "http://xn--bcher-kva.de/", true},
        {"another host of such a domain", make("xn--bcher-kva.de"), "http://www.xn--bcher-kva.de/", false},
        {"a domain cookie of an international public suffix", make(".xn--55qx5d.cn"), "http://a.xn--55qx5d.cn/", false},
    };
    for (const Case& c : cases) {
        const QUrl url(QString::fromLatin1(c.url));
        EXPECT_EQ(CookieJar::matching({c.cookie}, {url}).size(), c.sent ? 1 : 0) << c.name;
        // The session's jar is asked about web addresses only, and answers for those alike.
        if (!url.scheme().startsWith(QLatin1String("http")) || url.host().isEmpty())
            continue;
        CookieJar jar;
        jar.insert(c.cookie);
        EXPECT_EQ(jar.cookiesFor(url, url).size(), c.sent ? 1 : 0) << c.name;
    }
}
