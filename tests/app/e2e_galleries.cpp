// Galleries written the way sites are written now, grabbed from a running Chromium into the thumbnail
// page: one small page per case, each checked by the cells of "thumbs.html".
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsWindows.h"
#include "dom/Document.h"
#include "tests/app/GalleryCases.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QHostAddress>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// The running Chromium of these tests, driven over its own browser connection.
class Browser {
public:
    QTemporaryDir profiles;
    GroupProcess process;

    bool start()
    {
        return startHeadlessChromium(process, userDataDir(), QStringLiteral("about:blank"));
    }
    QString userDataDir() const { return profiles.filePath(QStringLiteral("chromium")); }
    // The browser's own WebSocket, from the second line of DevToolsActivePort.
    QString socket() const
    {
        QFile f(userDataDir() + QStringLiteral("/DevToolsActivePort"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray port = f.readLine().trimmed();
        const QByteArray path = f.readLine().trimmed();
        return QStringLiteral("ws://127.0.0.1:%1%2").arg(QString::fromLatin1(port), QString::fromLatin1(path));
    }
    BrowserEndpointSources sources() const
    {
        BrowserEndpointSources s;
        s.profileRoot = profiles.path();
        s.fixedEndpoints = {};
        s.settingsFile = profiles.filePath(QStringLiteral("none.ini"));
        return s;
    }
    void open(const QString& url)
    {
        DevToolsConnection c(10000);
        c.open(socket());
        c.call(QStringLiteral("Target.createTarget"), {{QStringLiteral("url"), url}});
    }
    // Evaluates an expression in the page's own world (the page's scripts see the same).
    QString evaluateInPage(const QString& url, const QString& expression)
    {
        DevToolsConnection c(10000);
        c.open(socket());
        QString target;
        const QJsonObject all = c.call(QStringLiteral("Target.getTargets"));
        for (const QJsonValue& t : all.value(QStringLiteral("targetInfos")).toArray())
            if (t[QStringLiteral("url")].toString() == url)
                target = t[QStringLiteral("targetId")].toString();
        if (target.isEmpty())
            return QStringLiteral("(no such page)");
        const QString session = c.call(QStringLiteral("Target.attachToTarget"),
                                       {{QStringLiteral("targetId"), target}, {QStringLiteral("flatten"), true}})
                                    .value(QStringLiteral("sessionId")).toString();
        const QJsonObject r = c.call(QStringLiteral("Runtime.evaluate"),
                                     {{QStringLiteral("expression"), expression}, {QStringLiteral("returnByValue"), true}},
                                     session);
        return r[QStringLiteral("result")][QStringLiteral("value")].toString();
    }
};

// The window showing url with its title, once its page has loaded.
std::shared_ptr<BrowserWindow> loadedWindow(DevToolsWindowList& list, const QString& url, const QString& title)
{
    std::shared_ptr<BrowserWindow> window;
    waitUntil([&] {
        list.refresh();
        window = nullptr;
        for (int i = 0; i < list.count() && !window; ++i)
            if (list.item(i)->locationUrl() == url && list.item(i)->locationName() == title)
                window = list.item(i);
        if (!window)
            return false;
        try {
            // (A new tab's first document is a blank one, complete at once.)
            return static_cast<DevToolsWindow&>(*window).evaluateString(
                       QStringLiteral("document.readyState + ' ' + document.URL"))
                == QStringLiteral("complete ") + url;
        } catch (const std::exception&) {
            return false;
        }
    }, 30000);
    return window;
}

// A browser reached only through its WebSocket: a proxy in front of Chromium's own socket that takes
// no plain HTTP request (no /json routes), as Chrome's switch at chrome://inspect gives.
class WebSocketOnlyProxy {
public:
    explicit WebSocketOnlyProxy(QString browserSocket)
        : m_target(std::move(browserSocket)), m_server(QStringLiteral("proxy"), QWebSocketServer::NonSecureMode)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QWebSocketServer::newConnection, &m_server, [this] {
            QWebSocket* client = m_server.nextPendingConnection();
            client->setParent(&m_server);
            auto* upstream = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, client);
            auto queued = std::make_shared<QStringList>();
            QObject::connect(client, &QWebSocket::textMessageReceived, upstream, [upstream, queued](const QString& m) {
                if (upstream->state() == QAbstractSocket::ConnectedState)
                    upstream->sendTextMessage(m);
                else
                    *queued << m;
            });
            QObject::connect(upstream, &QWebSocket::connected, upstream, [upstream, queued] {
                for (const QString& m : std::exchange(*queued, {}))
                    upstream->sendTextMessage(m);
            });
            QObject::connect(upstream, &QWebSocket::textMessageReceived, client,
                             [client](const QString& m) { client->sendTextMessage(m); });
            QObject::connect(upstream, &QWebSocket::disconnected, client, [client] { client->close(); });
            QObject::connect(client, &QWebSocket::disconnected, upstream, [upstream] { upstream->close(); });
            upstream->open(QUrl(m_target));
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QString m_target;
    QWebSocketServer m_server;
};

} // namespace

TEST(GalleriesE2E, EveryThumbnailAsTheBrowserShowsIt)
{
    GallerySites sites;
    ASSERT_NO_FATAL_FAILURE(sites.SetUp());

    Browser browser;
    ASSERT_TRUE(browser.start()) << "Chromium announced no DevTools port";
    DevToolsWindowList list(browser.sources());
    expectEveryGalleryGrabbed(sites, {[&](const QString& url) { browser.open(url); },
                                      [&](const QString& url, const QString& title) { return loadedWindow(list, url, title); },
                                      [&](const QString& url, const QString& script) { return browser.evaluateInPage(url, script); }});
}

TEST(GalleriesE2E, ABrowserThatOffersOnlyItsWebSocket)
{
    QTemporaryDir site, announced;
    ASSERT_TRUE(site.isValid() && announced.isValid());
    writeImage(site.filePath(QStringLiteral("t.png")), 96, 72);
    writeFile(site.filePath(QStringLiteral("gallery.html")),
              "<!DOCTYPE html><html><head><title>Socket only</title></head><body>"
              "<a href=\"pics/1.jpg\"><img src=\"t.png\"></a></body></html>");
    StaticServer server(site.path());
    const QString url = server.url(QStringLiteral("gallery.html"));

    Browser browser;
    ASSERT_TRUE(browser.start()) << "Chromium announced no DevTools port";
    browser.open(url);
    WebSocketOnlyProxy proxy(browser.socket());
    ASSERT_NE(proxy.port(), 0);
    // The profile folder announces the proxy: its port and the browser's socket path.
    QDir(announced.path()).mkpath(QStringLiteral("google-chrome"));
    writeFile(announced.filePath(QStringLiteral("google-chrome/DevToolsActivePort")),
              QByteArray::number(proxy.port()) + "\n" + QUrl(browser.socket()).path().toLatin1() + "\n");
    BrowserEndpointSources sources;
    sources.profileRoot = announced.path();
    sources.fixedEndpoints = {};
    sources.settingsFile = announced.filePath(QStringLiteral("none.ini"));
    DevToolsWindowList list(sources);
    const std::shared_ptr<BrowserWindow> window = loadedWindow(list, url, QStringLiteral("Socket only"));
    ASSERT_TRUE(window) << "the page is not listed with its title through the browser's socket";

    ThumbsPane pane;
    pane.thumbs.grabDocument(window->document(), false);
    EXPECT_TRUE(pane.messages.errors.isEmpty()) << pane.messages.errors.join('\n').toStdString();
    EXPECT_EQ(cells(pane.folder.read(QStringLiteral("thumbs.html"))),
              std::vector<Cell>({{server.url(QStringLiteral("pics/1.jpg")), server.url(QStringLiteral("t.png"))}}));
}
