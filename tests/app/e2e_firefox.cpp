// Firefox windows over WebDriver BiDi, with a headless firefox-esr of its own: the galleries grabbed
// from Chromium give the same thumbnail page from Firefox, a grab leaves no session behind, a busy
// or portless Firefox is left out of the list quietly, and the window hands over its cookies.
#include "browser/bidi/BidiConnection.h"
#include "browser/bidi/BidiWindows.h"
#include "core/Error.h"
#include "testing/Firefox.h"
#include "tests/app/GalleryCases.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// The test's own client of the Firefox: each call opens a session and ends it, as the program does.
class FirefoxDriver {
public:
    explicit FirefoxDriver(quint16 port) : m_socket(QStringLiteral("ws://127.0.0.1:%1/session").arg(port)) {}
    const QString& socket() const { return m_socket; }

    // A new tab on url, once its page has loaded.
    void open(const QString& url)
    {
        BidiConnection c{QDeadlineTimer(30000)};
        c.open(m_socket);
        c.newSession(30000);
        const QString context =
            c.call(QStringLiteral("browsingContext.create"), {{QStringLiteral("type"), QStringLiteral("tab")}})
                .value(QStringLiteral("context")).toString();
        c.call(QStringLiteral("browsingContext.navigate"), {{QStringLiteral("context"), context},
                                                            {QStringLiteral("url"), url},
                                                            {QStringLiteral("wait"), QStringLiteral("complete")}});
        c.endSession();
    }
    // Evaluates an expression in the page's own world (the page's scripts see the same). (Firefox
    // names the tabs anew in every session: the tab is found by its address.)
    QString evaluateInPage(const QString& url, const QString& expression)
    {
        BidiConnection c{QDeadlineTimer(10000)};
        c.open(m_socket);
        c.newSession(10000);
        QString context;
        const QJsonObject tree = c.call(QStringLiteral("browsingContext.getTree"), {{QStringLiteral("maxDepth"), 0}});
        for (const QJsonValue& t : tree[QStringLiteral("contexts")].toArray())
            if (t[QStringLiteral("url")].toString() == url)
                context = t[QStringLiteral("context")].toString();
        const QJsonObject r = c.call(QStringLiteral("script.evaluate"),
                                     {{QStringLiteral("expression"), expression},
                                      {QStringLiteral("target"), QJsonObject{{QStringLiteral("context"), context}}},
                                      {QStringLiteral("awaitPromise"), false}});
        c.endSession();
        return r[QStringLiteral("result")][QStringLiteral("value")].toString();
    }

private:
    QString m_socket;
};

BrowserEndpointSources onlyEndpoint(const QTemporaryDir& dir, quint16 port)
{
    BrowserEndpointSources s;
    s.profileRoot = dir.filePath(QStringLiteral("none"));
    s.fixedEndpoints = {QStringLiteral("127.0.0.1:%1").arg(port)};
    s.settingsFile = dir.filePath(QStringLiteral("none.ini"));
    return s;
}

// The window showing url with its title.
std::shared_ptr<BrowserWindow> listedWindow(BidiWindowList& list, const QString& url, const QString& title)
{
    std::shared_ptr<BrowserWindow> window;
    waitUntil([&] {
        list.refresh();
        for (int i = 0; i < list.count() && !window; ++i)
            if (list.item(i)->locationUrl() == url && list.item(i)->locationName() == title)
                window = list.item(i);
        return window != nullptr;
    }, 30000);
    return window;
}

} // namespace

// One Firefox for the suite: starting one takes seconds.
class FirefoxE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_profile = new QTemporaryDir;
        s_firefox = new GroupProcess;
        s_started = startHeadlessFirefox(*s_firefox, s_profile->filePath(QStringLiteral("profile")),
                                         QStringLiteral("about:blank"), s_port);
    }
    static void TearDownTestSuite()
    {
        delete s_firefox;
        delete s_profile;
        s_firefox = nullptr;
        s_profile = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_started) << "Firefox announced no debugging port"; }

    static QTemporaryDir* s_profile;
    static GroupProcess* s_firefox;
    static quint16 s_port;
    static bool s_started;
    QTemporaryDir m_dir;
};

QTemporaryDir* FirefoxE2E::s_profile = nullptr;
GroupProcess* FirefoxE2E::s_firefox = nullptr;
quint16 FirefoxE2E::s_port = 0;
bool FirefoxE2E::s_started = false;

TEST_F(FirefoxE2E, TheGalleriesGiveTheSameCellsAsFromChromium)
{
    GallerySites sites;
    ASSERT_NO_FATAL_FAILURE(sites.SetUp());
    FirefoxDriver firefox(s_port);
    BidiWindowList list(onlyEndpoint(m_dir, s_port));
    expectEveryGalleryGrabbed(sites, {[&](const QString& url) { firefox.open(url); },
                                      [&](const QString& url, const QString& title) { return listedWindow(list, url, title); },
                                      [&](const QString& url, const QString& script) { return firefox.evaluateInPage(url, script); }});
}

// Firefox allows one session at a time: a grab ends its own, and a Firefox driven by another program
// is left out of the list without a message.
TEST_F(FirefoxE2E, AGrabEndsItsSessionAndABusyFirefoxIsLeftOut)
{
    QTemporaryDir site;
    writeImage(site.filePath(QStringLiteral("t.png")), 96, 72);
    writeFile(site.filePath(QStringLiteral("g.html")), "<!DOCTYPE html><html><head><title>One session</title></head>"
                                                       "<body><a href=\"p.jpg\"><img src=\"t.png\"></a></body></html>");
    StaticServer server(site.path());
    const QString url = server.url(QStringLiteral("g.html"));
    FirefoxDriver firefox(s_port);
    firefox.open(url);
    BidiWindowList list(onlyEndpoint(m_dir, s_port));
    const std::shared_ptr<BrowserWindow> window = listedWindow(list, url, QStringLiteral("One session"));
    ASSERT_TRUE(window);
    ASSERT_EQ(window->document()->links().size(), 1u);
    window->cookies({QUrl(url)});

    {
        // A second client can open a session: the grab ended its own.
        BidiConnection other{QDeadlineTimer(10000)};
        other.open(firefox.socket());
        ASSERT_NO_THROW(other.newSession(10000));

        list.refresh();
        EXPECT_EQ(list.count(), 0) << "a busy Firefox is left out";
        EXPECT_EQ(list.endpoints(), QStringList({QStringLiteral("127.0.0.1:%1").arg(s_port)}));
        try {
            window->document();
            ADD_FAILURE() << "read while another program drives the browser";
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().contains(BidiConnection::busyText())) << e.text().toStdString();
        }
        other.endSession();
    }
    list.refresh();
    EXPECT_GE(list.count(), 1) << "listed again once the other session ended";
}

// The window's cookies, HttpOnly ones included, from the browser's store; only those for the
// addresses asked. (Dummy values only.)
TEST_F(FirefoxE2E, TheWindowHandsOverItsCookies)
{
    LocalServer server(Script{send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"
                                   "Set-Cookie: session=dummy1; HttpOnly; Path=/; SameSite=Lax\r\n"
                                   "Set-Cookie: gallery=dummy2; Path=/pics; Max-Age=3600; SameSite=Strict\r\n"
                                   "Set-Cookie: secureonly=dummy3; Secure; Path=/\r\n\r\n"
                                   "<!DOCTYPE html><html><head><title>Cookies</title></head><body></body></html>")});
    const QString url = server.url(QStringLiteral("/gallery.html"));
    FirefoxDriver firefox(s_port);
    firefox.open(url);
    BidiWindowList list(onlyEndpoint(m_dir, s_port));
    const std::shared_ptr<BrowserWindow> window = listedWindow(list, url, QStringLiteral("Cookies"));
    ASSERT_TRUE(window);

    const QList<QNetworkCookie> forPage = window->cookies({QUrl(url)});
    ASSERT_EQ(forPage.size(), 1);
    EXPECT_EQ(forPage[0].name(), "session");
    EXPECT_EQ(forPage[0].value(), "dummy1");
    EXPECT_TRUE(forPage[0].isHttpOnly());
    EXPECT_EQ(forPage[0].sameSitePolicy(), QNetworkCookie::SameSite::Lax);
    EXPECT_EQ(forPage[0].domain(), "127.0.0.1");
    EXPECT_FALSE(forPage[0].expirationDate().isValid()) << "a session cookie";

    QStringList names;
    for (const QNetworkCookie& c : window->cookies({QUrl(url), server.url(QStringLiteral("/pics/1.jpg"))}))
        names << QString::fromUtf8(c.name());
    names.sort();
    EXPECT_EQ(names, QStringList({"gallery", "session"})) << "the secure one goes to https addresses only";
    EXPECT_TRUE(window->cookies({QUrl(QStringLiteral("http://elsewhere.example/"))}).isEmpty());
}

// A Firefox started without the port is not listed, and takes no longer than any endpoint that does
// not answer.
TEST(FirefoxWithoutPortE2E, IsNotListed)
{
    QTemporaryDir dir;
    GroupProcess firefox;
    ASSERT_TRUE(startHeadlessFirefoxWithoutPort(firefox, dir.filePath(QStringLiteral("profile")),
                                                QStringLiteral("about:blank")))
        << "Firefox did not start";
    const quint16 port = freeLoopbackPort();
    BidiWindowList list(onlyEndpoint(dir, port));
    QElapsedTimer clock;
    clock.start();
    list.refresh();
    const qint64 ms = clock.elapsed();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.endpoints(), QStringList({QStringLiteral("127.0.0.1:%1").arg(port)}));
    // Measured, not asserted: the refresh is bounded by the endpoint time-out.
    ::testing::Test::RecordProperty("refresh_ms", int(ms));
    std::printf("refresh without a Firefox port: %lld ms (endpoint time-out %d ms)\n", qint64(ms),
                BidiWindowList::kAnswerTimeoutMs);
}
