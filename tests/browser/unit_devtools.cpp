#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsWindows.h"
#include "dom/Document.h"
#include "core/Error.h"
#include "testing/LocalServer.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QWebSocketServer>

#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pxt;

namespace {

using pxt::test::writeFile;

// A DevTools endpoint on 127.0.0.1 that answers every request with one canned HTTP response, or,
// when silent, accepts the connection and never answers.
class FakeEndpoint {
public:
    explicit FakeEndpoint(const QByteArray& body, const QByteArray& status = "200 OK", bool silent = false)
        : m_server(silent ? pxt::test::Script{pxt::test::hold()}
                          : pxt::test::Script{pxt::test::send(
                              "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body)})
    {
    }
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.port()); }
    QStringList requests() const
    {
        QStringList lines;
        for (const QByteArray& l : m_server.requestLines())
            lines << QString::fromLatin1(l);
        return lines;
    }

private:
    pxt::test::LocalServer m_server;
};

QByteArray targetList(const QList<std::tuple<const char*, const char*, const char*>>& targets)
{
    QByteArray out = "[";
    int n = 0;
    for (const auto& [type, title, url] : targets) {
        out += (n ? "," : "") + QByteArray("{\"description\":\"\",\"id\":\"ID") + QByteArray::number(n)
             + "\",\"title\":\"" + title + "\",\"type\":\"" + type + "\",\"url\":\"" + url
             + "\",\"webSocketDebuggerUrl\":\"ws://127.0.0.1:1/devtools/page/ID" + QByteArray::number(n) + "\"}";
        ++n;
    }
    return out + "]";
}

QString closedPortEndpoint()
{
    quint16 port = 0;
    ::close(pxt::test::loopbackSocket(port, -1));
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace

TEST(DevToolsTargets, OnlyPagesAreWindows)
{
    const std::vector<DevToolsTarget> targets = pageTargets(
        R"([{"type":"browser_ui","title":"Tabs","url":"chrome://tab-strip/","webSocketDebuggerUrl":"ws://127.0.0.1:9222/1"},
            {"type":"page","title":"Gallery","url":"http://g/","webSocketDebuggerUrl":"ws://127.0.0.1:9222/devtools/page/2"},
            {"type":"service_worker","title":"sw","url":"http://g/sw.js","webSocketDebuggerUrl":"ws://127.0.0.1:9222/3"},
            {"type":"iframe","title":"f","url":"http://f/","webSocketDebuggerUrl":"ws://127.0.0.1:9222/4"},
            {"type":"page","title":"Busy","url":"http://b/"},
            "junk", 7])",
        "127.0.0.1:9222");
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].title, "Gallery");
    EXPECT_EQ(targets[0].url, "http://g/");
    EXPECT_EQ(targets[0].webSocketDebuggerUrl, "ws://127.0.0.1:9222/devtools/page/2");
    EXPECT_EQ(targets[1].title, "Busy");
    EXPECT_TRUE(targets[1].webSocketDebuggerUrl.isEmpty());

    for (const char* bad : {"", "{}", "not json", "[", "{\"type\":\"page\"}"})
        EXPECT_TRUE(pageTargets(bad, "127.0.0.1:9222").empty()) << bad;
}

// A list may only send the program to a socket of the endpoint it came from.
TEST(DevToolsTargets, DebuggerAddressesOnlyOnTheirOwnEndpoint)
{
    const struct {
        const char* socket;
        bool kept;
    } cases[] = {
        {"ws://127.0.0.1:9222/devtools/page/1", true},
        {"ws://localhost:9222/devtools/page/1", false},
        {"ws://127.0.0.1:9333/devtools/page/1", false},
        {"ws://evil.test:9222/devtools/page/1", false},
        {"wss://127.0.0.1:9222/devtools/page/1", false},
        {"http://127.0.0.1:9222/devtools/page/1", false},
        {"ws://127.0.0.1/devtools/page/1", false},
    };
    for (const auto& c : cases) {
        const QByteArray list = QByteArray(R"([{"type":"page","title":"G","url":"http://g/","webSocketDebuggerUrl":")")
                                + c.socket + "\"}]";
        const std::vector<DevToolsTarget> targets = pageTargets(list, "127.0.0.1:9222");
        ASSERT_EQ(targets.size(), 1u) << c.socket;
        EXPECT_EQ(!targets[0].webSocketDebuggerUrl.isEmpty(), c.kept) << c.socket;
    }
}

TEST(DevToolsCookies, EveryAttributeIsKept)
{
    const QJsonObject result = QJsonDocument::fromJson(R"({"cookies":[
        {"name":"sid","value":"v1","domain":".example.com","path":"/members","expires":1893456000.5,
         "httpOnly":true,"secure":true,"session":false,"sameSite":"Strict"},
        {"name":"host","value":"v2","domain":"example.com","path":"/","expires":-1,"session":true},
        {"name":"","value":"x","domain":"example.com"},
        {"name":"nodomain","value":"x"},
        "junk"]})").object();
    const QList<QNetworkCookie> cookies = cookiesFromDevTools(result);
    ASSERT_EQ(cookies.size(), 2);
    const QNetworkCookie& sid = cookies[0];
    EXPECT_EQ(sid.name(), "sid");
    EXPECT_EQ(sid.value(), "v1");
    EXPECT_EQ(sid.domain(), ".example.com");
    EXPECT_EQ(sid.path(), "/members");
    EXPECT_EQ(sid.expirationDate().toMSecsSinceEpoch(), 1893456000500);
    EXPECT_TRUE(sid.isHttpOnly());
    EXPECT_TRUE(sid.isSecure());
    EXPECT_EQ(sid.sameSitePolicy(), QNetworkCookie::SameSite::Strict);
    const QNetworkCookie& host = cookies[1];
    EXPECT_EQ(host.domain(), "example.com");
    EXPECT_TRUE(host.isSessionCookie());
    EXPECT_FALSE(host.isHttpOnly() || host.isSecure());
    EXPECT_EQ(host.sameSitePolicy(), QNetworkCookie::SameSite::Default);

    EXPECT_TRUE(cookiesFromDevTools(QJsonObject()).isEmpty());

    // An expiry beyond what a date holds stays an expiry far ahead, never a session cookie.
    for (const char* expires : {"1e300", "1e17"}) {
        const QList<QNetworkCookie> far = cookiesFromDevTools(QJsonDocument::fromJson(
            QByteArray(R"({"cookies":[{"name":"far","value":"v","domain":"example.com","path":"/","expires":)") + expires
            + "}]}").object());
        ASSERT_EQ(far.size(), 1) << expires;
        EXPECT_FALSE(far[0].isSessionCookie()) << expires;
        EXPECT_GT(far[0].expirationDate(), QDateTime::currentDateTimeUtc().addYears(1000)) << expires;
    }
}

TEST(DevToolsWindowList, ListsThePagesOfTheEndpointsThatAnswer)
{
    FakeEndpoint first(targetList({{"page", "First", "http://one.example/"},
                                   {"browser_ui", "Tab strip", "chrome://tab-strip/"},
                                   {"page", "Second", "http://two.example/"}}));
    FakeEndpoint silent("[]", "200 OK", /*silent=*/true);
    FakeEndpoint missing("Not found", "404 Not Found");
    FakeEndpoint garbage("<html>no list</html>");
    FakeEndpoint last(targetList({{"service_worker", "sw", "http://three.example/sw.js"},
                                  {"page", "Third", "http://three.example/"}}));
    QTemporaryDir dir;
    BrowserEndpointSources sources;
    sources.profileRoot = dir.filePath("none");
    sources.settingsFile = dir.filePath("pxt.ini");
    sources.fixedEndpoints = {first.endpoint(), silent.endpoint(), closedPortEndpoint(), missing.endpoint(),
                              garbage.endpoint(), last.endpoint()};

    DevToolsWindowList list(sources);
    EXPECT_EQ(list.count(), 0);
    list.refresh();
    EXPECT_EQ(list.endpoints(), sources.fixedEndpoints);
    ASSERT_EQ(list.count(), 3);
    const QStringList expected[] = {{"First", "http://one.example/"},
                                    {"Second", "http://two.example/"},
                                    {"Third", "http://three.example/"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.item(i)->locationName(), expected[i][0]);
        EXPECT_EQ(list.item(i)->locationUrl(), expected[i][1]);
    }
    // The version is asked for the browser's socket; an answer without one leaves the HTTP list.
    // /session tells a browser that speaks WebDriver BiDi, which is left to its own list.
    QStringList asked = first.requests();
    asked.removeAll(QString()); // a connection the client opened and left unused (a busy machine)
    asked.sort();
    EXPECT_EQ(asked, QStringList({"GET /json/list HTTP/1.1", "GET /json/version HTTP/1.1", "GET /session HTTP/1.1"}));
    EXPECT_THROW(list.item(3), Error);
    EXPECT_THROW(list.item(-1), Error);

    // Only a silent endpoint: an empty list, after about a second.
    sources.fixedEndpoints = {silent.endpoint()};
    DevToolsWindowList quiet(sources);
    quiet.refresh();
    EXPECT_EQ(quiet.count(), 0);
}

// An endpoint that speaks WebDriver BiDi (Firefox: no version, and /session wants a WebSocket) is
// read by its own list only, whatever else it answers.
TEST(DevToolsWindowList, LeavesAWebDriverBidiEndpointToItsOwnList)
{
    const QByteArray list = targetList({{"page", "Gallery", "http://g/"}});
    pxt::test::LocalServer firefox([&](int, const QByteArray& request) {
        const QByteArray path = pxt::test::requestPath(request);
        const QByteArray answer = path == "/session" ? QByteArray("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
            : path == "/json/list" ? "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(list.size()) + "\r\n\r\n" + list
                                   : QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        return pxt::test::Script{pxt::test::send(answer)};
    });
    QTemporaryDir dir;
    BrowserEndpointSources sources;
    sources.profileRoot = dir.filePath("none");
    sources.settingsFile = dir.filePath("pxt.ini");
    sources.fixedEndpoints = {QStringLiteral("127.0.0.1:%1").arg(firefox.port())};
    DevToolsWindowList windows(sources);
    windows.refresh();
    EXPECT_EQ(windows.count(), 0);
    EXPECT_EQ(windows.endpoints(), sources.fixedEndpoints);
}

namespace {

// A page's DevTools WebSocket: gives the main frame and an isolated world of it as Chromium does,
// records the evaluation request and answers it as told.
class FakePageSocket {
public:
    // The messages to send for the evaluation's request id; none: close the connection without answering.
    std::function<QByteArrayList(int id)> answer;
    QJsonObject request;   // the evaluation
    QStringList methods;   // every command, in order
    QJsonObject world;     // the parameters of Page.createIsolatedWorld
    QString origin = QStringLiteral("(no connection)");
    QString path;          // of the address the client connected to
    // As the browser's socket: the result of Target.getTargets; Target.attachToTarget gives the
    // session "S-" + the target id.
    QByteArray targets = R"({"targetInfos":[]})";
    QJsonObject attach;    // the parameters of Target.attachToTarget
    QJsonObject autoAttach; // the parameters of Target.setAutoAttach
    QStringList worldFrames; // the frame of each isolated world asked for
    QString describedFrame = QStringLiteral("F2"); // the frame of every element DOM.describeNode is asked about

    FakePageSocket() : m_server(QStringLiteral("fake"), QWebSocketServer::NonSecureMode)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QWebSocketServer::newConnection, [this] {
            QWebSocket* s = m_server.nextPendingConnection();
            s->setParent(&m_server);
            origin = s->origin();
            path = s->requestUrl().path();
            QObject::connect(s, &QWebSocket::textMessageReceived, s, [this, s](const QString& text) {
                const QJsonObject command = QJsonDocument::fromJson(text.toUtf8()).object();
                const QString method = command.value("method").toString();
                const QByteArray id = QByteArray::number(command.value("id").toInt());
                methods << method;
                if (method == "Target.getTargets") {
                    s->sendTextMessage("{\"id\":" + id + ",\"result\":" + targets + "}");
                    return;
                }
                if (method == "Target.attachToTarget") {
                    attach = command.value("params").toObject();
                    s->sendTextMessage("{\"id\":" + id + ",\"result\":{\"sessionId\":\"S-"
                                       + attach.value("targetId").toString() + "\"}}");
                    return;
                }
                if (method == "Target.setAutoAttach") {
                    autoAttach = command.value("params").toObject();
                    s->sendTextMessage("{\"id\":" + id + ",\"result\":{}}");
                    return;
                }
                if (method == "Page.getFrameTree") {
                    s->sendTextMessage("{\"id\":" + id + ",\"result\":{\"frameTree\":{\"frame\":{\"id\":\"F1\"}}}}");
                    return;
                }
                if (method == "DOM.describeNode") {
                    s->sendTextMessage("{\"id\":" + id + ",\"result\":{\"node\":{\"nodeName\":\"IFRAME\",\"frameId\":\""
                                       + describedFrame + "\"}}}");
                    return;
                }
                if (method == "Page.createIsolatedWorld") {
                    world = command.value("params").toObject();
                    worldFrames << world.value("frameId").toString();
                    s->sendTextMessage("{\"id\":" + id + ",\"result\":{\"executionContextId\":77}}");
                    return;
                }
                request = command;
                const QByteArrayList replies = answer(command.value("id").toInt());
                for (const QByteArray& r : replies)
                    s->sendTextMessage(QString::fromUtf8(r));
                if (replies.isEmpty())
                    s->close();
            });
        });
    }
    QString url() const { return QStringLiteral("ws://127.0.0.1:%1/devtools/page/X").arg(m_server.serverPort()); }
    quint16 port() const { return m_server.serverPort(); }

private:
    QWebSocketServer m_server;
};

QByteArrayList evaluateResult(int id, const QByteArray& remoteObject)
{
    return {"{\"id\":" + QByteArray::number(id) + ",\"result\":{\"result\":" + remoteObject + "}}"};
}

// The text as a JSON string literal.
QByteArray jsonString(const QByteArray& text)
{
    return QJsonDocument(QJsonArray{QString::fromUtf8(text)}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

} // namespace

TEST(DevToolsWindow, FailuresNameTheWindowsTitle)
{
    struct Case {
        const char* name;
        std::function<QByteArrayList(int)> answer;
        const char* reason;
    };
    const Case cases[] = {
        {"exception in the page",
         [](int id) -> QByteArrayList {
             return {"{\"id\":" + QByteArray::number(id)
                    + ",\"result\":{\"result\":{\"type\":\"object\",\"subtype\":\"error\"},\"exceptionDetails\":"
                      "{\"text\":\"Uncaught\",\"exception\":{\"description\":\"TypeError: boom\\n    at x\"}}}}"};
         },
         "the page raised an exception: TypeError: boom"},
        {"not a string", [](int id) { return evaluateResult(id, R"({"type":"number","value":42})"); },
         "the page's answer is no document"},
        {"undefined", [](int id) { return evaluateResult(id, R"({"type":"undefined"})"); },
         "the page's answer is no document"},
        {"protocol error",
         [](int id) -> QByteArrayList {
             return {"{\"id\":" + QByteArray::number(id) + ",\"error\":{\"code\":-32000,\"message\":\"Target closed\"}}"};
         },
         "Target closed"},
        {"closed without answer", [](int) { return QByteArrayList(); }, "the connection was closed"},
        {"not a document", [](int id) { return evaluateResult(id, R"({"type":"string","value":"[1,2"})"); }, ""},
    };
    for (const Case& c : cases) {
        FakePageSocket page;
        page.answer = c.answer;
        DevToolsWindow window({QStringLiteral("My \"Gallery\""), QStringLiteral("http://g/"), page.url()});
        try {
            window.document();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().startsWith("The page \"My \"Gallery\"\" could not be read: ")) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QString::fromUtf8(c.reason))) << c.name << ": " << e.text().toStdString();
        }
        // The serializer runs in an isolated world of the main frame, never in the page's own.
        EXPECT_EQ(page.methods, QStringList({"Target.setAutoAttach", "Page.getFrameTree", "Page.createIsolatedWorld",
                                             "Runtime.evaluate"}))
            << c.name;
        EXPECT_TRUE(page.autoAttach.value("flatten").toBool());
        EXPECT_EQ(page.world.value("frameId").toString(), "F1");
        EXPECT_EQ(page.request.value("params")["contextId"].toInt(), 77);
        EXPECT_EQ(page.request.value("params")["expression"].toString(), DevToolsWindow::readerScript());
        EXPECT_TRUE(page.request.value("params")["returnByValue"].toBool());
        EXPECT_TRUE(page.request.value("params")["awaitPromise"].toBool());
        EXPECT_TRUE(page.origin.isEmpty()) << "no Origin header, so Chromium accepts the client";
    }

    // Nothing listening, no debugger address, or one that is no WebSocket address.
    for (const QString& url : {QStringLiteral("ws://") + closedPortEndpoint() + "/devtools/page/X", QString(),
                               QStringLiteral("http://127.0.0.1:1/")}) {
        DevToolsWindow window({QStringLiteral("Gone"), QStringLiteral("http://g/"), url});
        try {
            window.document();
            ADD_FAILURE() << "no error for " << url.toStdString();
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().startsWith("The page \"Gone\" could not be read")) << e.text().toStdString();
        }
    }
}

TEST(DevToolsWindow, ReadsTheSerializersDocument)
{
    const QByteArray json = R"({"v":2,"id":7,"url":"http://g/","title":"Gallery","base":"http://g/",)"
                            R"("nodes":[-1,2,"html",0,0,4,"a",1,"href","x.html","http://g/x.html"],"frames":[]})";
    FakePageSocket page;
    page.answer = [&](int id) {
        // An event first: the answer is the message with the request's id.
        QByteArrayList messages = {R"({"method":"Runtime.consoleAPICalled","params":{}})"};
        messages += evaluateResult(id, "{\"type\":\"string\",\"value\":" + jsonString(json) + "}");
        return messages;
    };
    DevToolsWindow window({QStringLiteral("Gallery"), QStringLiteral("http://g/"), page.url()});
    const std::shared_ptr<Document> doc = window.document();
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->url(), "http://g/");
    ASSERT_EQ(doc->links().size(), 1u);
    EXPECT_EQ(doc->links()[0]->href(), "http://g/x.html");
}

TEST(DevToolsTargets, PagesOfTheBrowsersTargetList)
{
    const QJsonObject result = QJsonDocument::fromJson(
        R"({"targetInfos":[{"targetId":"A","type":"page","title":"Gallery","url":"http://g/","attached":false},
            {"targetId":"B","type":"service_worker","title":"sw","url":"http://g/sw.js"},
            {"targetId":"C","type":"iframe","title":"f","url":"http://f/"},
            {"type":"page","title":"No id","url":"http://n/"},
            {"targetId":"D","type":"page","title":"","url":""}, 7, "junk"]})").object();
    const std::vector<DevToolsTarget> targets = pageTargets(result, QStringLiteral("ws://127.0.0.1:9/devtools/browser/x"));
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].title, "Gallery");
    EXPECT_EQ(targets[0].url, "http://g/");
    EXPECT_EQ(targets[0].targetId, "A");
    EXPECT_EQ(targets[0].browserWebSocketUrl, "ws://127.0.0.1:9/devtools/browser/x");
    EXPECT_TRUE(targets[0].webSocketDebuggerUrl.isEmpty());
    EXPECT_EQ(targets[1].targetId, "D");
    EXPECT_TRUE(pageTargets(QJsonObject(), QString()).empty());
}

TEST(DevToolsTargets, ListsAreBounded)
{
    // An endpoint may answer with any number of pages; no browser has more than the limit.
    QByteArray list = "[";
    QJsonArray infos;
    for (int i = 0; i <= kMaxPageTargets; ++i) {
        list += (i ? "," : "") + QByteArray(R"({"type":"page","title":"t","url":"http://g/","webSocketDebuggerUrl":"ws://h/"})");
        infos.append(QJsonObject{{"targetId", QString::number(i)}, {"type", "page"}, {"title", "t"}, {"url", "http://g/"}});
    }
    list += "]";
    EXPECT_EQ(pageTargets(list, QStringLiteral("127.0.0.1:9222")).size(), size_t(kMaxPageTargets));
    const std::vector<DevToolsTarget> targets = pageTargets(QJsonObject{{"targetInfos", infos}}, QStringLiteral("ws://h/b"));
    ASSERT_EQ(targets.size(), size_t(kMaxPageTargets));
    EXPECT_EQ(targets.back().targetId, QString::number(kMaxPageTargets - 1));
}

TEST(DevToolsConnection, AnAnswerOverTheLimitFailsTheCommand)
{
    EXPECT_EQ(DevToolsConnection::kMaxMessageBytes, 256LL * 1024 * 1024);
    FakePageSocket page;
    page.answer = [](int id) { return evaluateResult(id, R"({"type":"string","value":")" + QByteArray(200000, 'x') + "\"}"); };
    DevToolsConnection connection(5000);
    connection.setMaxMessageBytes(100000);
    connection.open(page.url());
    EXPECT_THROW(connection.call(QStringLiteral("Runtime.evaluate")), Error);

    // The same answer within the limit arrives whole.
    DevToolsConnection roomy(5000);
    roomy.setMaxMessageBytes(300000);
    roomy.open(page.url());
    EXPECT_EQ(roomy.call(QStringLiteral("Runtime.evaluate")).value("result")["value"].toString().size(), 200000);
}

// A browser that offers its own socket only (announced in DevToolsActivePort; no /json routes): its
// pages are listed with Target.getTargets and read through a session on that one connection.
TEST(DevToolsWindowList, ListsAndReadsThroughTheBrowsersOwnSocket)
{
    FakePageSocket browser;
    browser.targets = R"({"targetInfos":[{"targetId":"T1","type":"page","title":"Gallery","url":"http://g/"},
                          {"targetId":"W","type":"service_worker","title":"sw","url":"http://g/sw.js"}]})";
    const QByteArray json = R"({"v":2,"id":0,"url":"http://g/","title":"Gallery","base":"http://g/",)"
                            R"("nodes":[-1,2,"html",0,0,4,"a",1,"href","x.html","http://g/x.html"],"frames":[]})";
    browser.answer = [&](int id) { return evaluateResult(id, "{\"type\":\"string\",\"value\":" + jsonString(json) + "}"); };
    QTemporaryDir dir;
    writeFile(dir.filePath("chromium/DevToolsActivePort"),
              QByteArray::number(browser.port()) + "\n/devtools/browser/b-1\n");
    BrowserEndpointSources sources;
    sources.profileRoot = dir.path();
    sources.fixedEndpoints = {};
    sources.settingsFile = dir.filePath("pxt.ini");

    DevToolsWindowList list(sources);
    list.refresh();
    EXPECT_EQ(browser.path, "/devtools/browser/b-1");
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.item(0)->locationName(), "Gallery");
    EXPECT_EQ(list.item(0)->locationUrl(), "http://g/");

    browser.methods.clear();
    const std::shared_ptr<Document> doc = list.item(0)->document();
    ASSERT_EQ(doc->links().size(), 1u);
    EXPECT_EQ(doc->links()[0]->href(), "http://g/x.html");
    EXPECT_EQ(browser.methods, QStringList({"Target.attachToTarget", "Target.setAutoAttach", "Page.getFrameTree",
                                            "Page.createIsolatedWorld", "Runtime.evaluate"}));
    EXPECT_EQ(browser.attach.value("targetId").toString(), "T1");
    EXPECT_TRUE(browser.attach.value("flatten").toBool());
    EXPECT_EQ(browser.request.value("sessionId").toString(), "S-T1");
}

// A frame of another origin that the browser runs in the page's process: the serializer leaves its
// slot, the frame's element gives the frame, and the frame's own read takes the slot's place.
TEST(DevToolsWindow, ReadsAFrameOfAnotherOriginInAWorldOfItsOwn)
{
    const QByteArray top = R"({"v":2,"id":0,"url":"http://g/","title":"Top","base":"http://g/","nodes":[-1,2,"html",0],)"
                           R"("frames":[{"slot":0,"error":"Blocked \"http://g\" from {a} frame."},)"
                           R"({"slot":1,"error":"x"},{"error":"gone"}]})";
    const QByteArray inner = R"({"v":2,"id":0,"url":"http://o/","title":"Inner","base":"http://o/",)"
                             R"("nodes":[-1,4,"a",1,"href","p.jpg","http://o/p.jpg"],"frames":[]})";
    FakePageSocket page;
    QStringList expressions;
    page.answer = [&](int id) -> QByteArrayList {
        const QString expression = page.request.value("params")["expression"].toString();
        expressions << expression.left(30);
        if (expression == "globalThis.__pxtSlots[0]")
            return evaluateResult(id, R"({"type":"object","subtype":"node","objectId":"O1"})");
        if (expression == "globalThis.__pxtSlots[1]")
            return evaluateResult(id, R"({"type":"undefined"})"); // its element went away meanwhile
        if (expression.startsWith("delete"))
            return evaluateResult(id, R"({"type":"boolean","value":true})");
        const QByteArray json = page.worldFrames.last() == "F1" ? top : inner;
        return evaluateResult(id, "{\"type\":\"string\",\"value\":" + jsonString(json) + "}");
    };
    DevToolsWindow window({QStringLiteral("Top"), QStringLiteral("http://g/"), page.url()});
    const std::shared_ptr<Document> doc = window.document();
    EXPECT_EQ(page.worldFrames, QStringList({"F1", "F2"}));
    ASSERT_EQ(doc->framesLength(), 3);
    const std::shared_ptr<Document> frame = doc->frame(0);
    EXPECT_EQ(frame->title(), "Inner");
    ASSERT_EQ(frame->links().size(), 1u);
    EXPECT_EQ(frame->links()[0]->href(), "http://o/p.jpg");
    EXPECT_THROW(doc->frame(1), Error) << "a slot whose element is gone stays unreadable";
    EXPECT_THROW(doc->frame(2), Error);
    EXPECT_EQ(expressions.last(), "delete globalThis.__pxtSlots");
}

// /json/version names the browser's socket; one on another host or port is not taken.
TEST(DevToolsWindowList, TakesOnlyTheEndpointsOwnSocketFromItsVersion)
{
    FakePageSocket elsewhere;
    elsewhere.targets = R"({"targetInfos":[{"targetId":"T1","type":"page","title":"Elsewhere","url":"http://e/"}]})";
    FakeEndpoint endpoint("{\"Browser\":\"Chrome/1\",\"webSocketDebuggerUrl\":\"ws://127.0.0.1:"
                          + QByteArray::number(elsewhere.port()) + "/devtools/browser/x\"}");
    QTemporaryDir dir;
    BrowserEndpointSources sources;
    sources.profileRoot = dir.filePath("none");
    sources.settingsFile = dir.filePath("pxt.ini");
    sources.fixedEndpoints = {endpoint.endpoint()};
    DevToolsWindowList list(sources);
    list.refresh();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(elsewhere.methods.isEmpty()) << elsewhere.methods.join(',').toStdString();
}
