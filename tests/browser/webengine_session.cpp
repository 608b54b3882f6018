// The views' share of the user's session, on the real engine: the cookie store keeps a cookie of one
// host to that host, and only the program's own requests get the session's cookies; a web page shown
// in a view sends with its scripts what the engine itself would send.
#include "browser/webengine/WebEngineSession.h"
#include "http/BrowserSession.h"
#include "testing/LocalServer.h"
#include "tests/support/TestSupport.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

#include <mutex>

using namespace pxt;
using namespace pxt::test;

namespace {

// Records the path, method and Cookie line of every request; pages ask for what their script says.
class RecordingSite {
public:
    struct Request {
        QByteArray line; // "POST /pic.png"
        QByteArray host;
        QByteArray cookie;
    };

    RecordingSite()
        : m_server([this](int, const QByteArray& r) {
              {
                  const std::lock_guard<std::mutex> lock(m_mutex);
                  m_requests.push_back({r.left(r.indexOf(' ', r.indexOf(' ') + 1)), requestHeader(r, "Host"),
                                        requestHeader(r, "Cookie")});
              }
              const QByteArray path = requestPath(r);
              if (path.startsWith("/page.html"))
                  return Script {send(okResponse("<html><body>" + script + "</body></html>", "text/html"))};
              return Script {send(okResponse("x", "image/png"))};
          })
    {
    }
    QString url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const
    {
        return m_server.url(path, host);
    }
    std::vector<Request> requests()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    std::vector<Request> requestsOf(const QByteArray& line)
    {
        std::vector<Request> out;
        for (const Request& r : requests())
            if (r.line == line)
                out.push_back(r);
        return out;
    }
    QByteArray script;

private:
    std::mutex m_mutex;
    std::vector<Request> m_requests;
    LocalServer m_server;
};

class ViewSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_profile = std::make_unique<QWebEngineProfile>();
        attachSession(m_profile.get(), &m_session);
        m_page = std::make_unique<QWebEnginePage>(m_profile.get());
    }
    void TearDown() override
    {
        m_page.reset();
        m_profile.reset();
    }

    bool load(const QString& url)
    {
        QEventLoop loop;
        bool ok = false;
        const auto c = QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, &loop, [&](bool done) {
            ok = done;
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        m_page->load(QUrl(url));
        loop.exec();
        QObject::disconnect(c);
        return ok;
    }

    static QNetworkCookie cookie(const char* name, const QString& domain)
    {
        QNetworkCookie c(name, "v");
        c.setDomain(domain);
        c.setPath(QStringLiteral("/"));
        return c;
    }

    BrowserSession m_session;
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<QWebEnginePage> m_page;
};

} // namespace

// The engine reaches every name under localhost on this machine: a cookie of example.localhost alone
// must not reach img.example.localhost, its domain's cookie reaches both.
TEST_F(ViewSessionTest, ACookieOfOneHostStaysWithThatHost)
{
    RecordingSite site;
    m_session.addCookies({cookie("hostonly", QStringLiteral("example.localhost")),
                          cookie("domain", QStringLiteral(".example.localhost"))});
    waitUntil([] { return false; }, 300); // the store takes them asynchronously
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html?host"), QStringLiteral("example.localhost"))));
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html?sub"), QStringLiteral("img.example.localhost"))));
    const auto host = site.requestsOf("GET /page.html?host");
    const auto sub = site.requestsOf("GET /page.html?sub");
    ASSERT_EQ(host.size(), 1u);
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_EQ(host[0].cookie, "hostonly=v; domain=v");
    EXPECT_EQ(sub[0].cookie, "domain=v") << "a cookie of one host went to its subdomain";
}

// A page of another site shown in a view posts to the gallery and fetches a picture the session knows:
// the session adds nothing to its scripts' requests, and the engine sends the gallery's Lax cookie
// with neither.
TEST_F(ViewSessionTest, AShownPagesScriptsGetNothingOfTheSession)
{
    RecordingSite site;
    const QString picture = site.url(QStringLiteral("/pic.png"));
    m_session.addCookies({cookie("sid", QStringLiteral("127.0.0.1"))});
    m_session.addReferer(picture, site.url(QStringLiteral("/gallery.html")));
    waitUntil([] { return false; }, 300);
    site.script = "<script>fetch('" + picture.toLatin1() + "', {method: 'POST', mode: 'no-cors', credentials: 'include',"
                  " body: 'delete=all'});"
                  "fetch('" + picture.toLatin1() + "', {mode: 'no-cors', credentials: 'include'});</script>";
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html"), QStringLiteral("localhost"))));
    ASSERT_TRUE(waitUntil([&] { return site.requestsOf("POST /pic.png").size() == 1 && site.requestsOf("GET /pic.png").size() == 1; }, 10000));
    EXPECT_EQ(site.requestsOf("POST /pic.png")[0].cookie, "");
    EXPECT_EQ(site.requestsOf("GET /pic.png")[0].cookie, "");
}
