// Firefox windows over WebDriver BiDi, against a fake browser: the messages of a fill, a grab and a
// cookie read, one session each, ended right after.
#include "browser/FrameSlots.h"
#include "browser/bidi/BidiConnection.h"
#include "browser/bidi/BidiWindows.h"
#include "core/Error.h"
#include "dom/Document.h"
#include "testing/LocalServer.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

using namespace pxt;

namespace {

struct FakeTab {
    QString url;
    QString title;
    double timeOrigin;
    QString userContext = QStringLiteral("default");
};

// A browser that speaks WebDriver BiDi on ws://127.0.0.1:port/session, as Firefox does: one session at
// a time, top-level contexts named anew in every session ("s<session>-<tab>"), titles and time origins
// read in a sandbox. Other evaluations are answered by evaluate.
class FakeFirefox {
public:
    std::vector<FakeTab> tabs;
    bool busy = false;            // another program holds the one session
    bool closeOnEvaluate = false; // the connection drops at the first other evaluation
    int sessionDelayMs = 0;       // how long session.new takes (a fresh Firefox takes seconds)
    // The "result" of script.evaluate for an expression in a context (other than the tab identities).
    std::function<QJsonObject(const QString& expression, const QString& context)> evaluate;
    QJsonArray cookies;
    QStringList methods;          // every command, in order
    std::vector<QJsonObject> evaluations; // the parameters of every script.evaluate
    std::vector<QJsonObject> cookieParams; // of every storage.getCookies
    int sessions = 0;             // sessions opened
    bool sessionOpen = false;
    QString origin = QStringLiteral("(no connection)");

    FakeFirefox() : m_server(QStringLiteral("fake"), QWebSocketServer::NonSecureMode)
    {
        // Plain requests are answered as Firefox answers them; WebSocket upgrades go to the server.
        m_http.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_http, &QTcpServer::newConnection, [this] {
            QTcpSocket* t = m_http.nextPendingConnection();
            t->setParent(&m_http);
            QObject::connect(t, &QTcpSocket::readyRead, t, [this, t] {
                const QByteArray head = t->peek(t->bytesAvailable());
                if (!head.contains("\r\n\r\n"))
                    return;
                QObject::disconnect(t, &QTcpSocket::readyRead, nullptr, nullptr);
                if (head.toLower().contains("upgrade: websocket")) {
                    m_server.handleConnection(t);
                    return;
                }
                t->write(head.startsWith("GET /session ")
                             ? "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                             : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                t->disconnectFromHost();
            });
        });
        QObject::connect(&m_server, &QWebSocketServer::newConnection, [this] {
            QWebSocket* s = m_server.nextPendingConnection();
            s->setParent(&m_server);
            origin = s->origin();
            QObject::connect(s, &QWebSocket::textMessageReceived, s, [this, s](const QString& text) { handle(s, text); });
        });
    }
    quint16 port() const { return m_http.serverPort(); }
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
    QString socket() const { return QStringLiteral("ws://%1/session").arg(endpoint()); }
    QString contextOf(int tab) const { return QStringLiteral("s%1-%2").arg(sessions).arg(tab); }

    static QJsonObject string(const QString& value)
    {
        return {{"type", "success"}, {"result", QJsonObject{{"type", "string"}, {"value", value}}}};
    }

private:
    void handle(QWebSocket* s, const QString& text)
    {
        const QJsonObject command = QJsonDocument::fromJson(text.toUtf8()).object();
        const QString method = command.value("method").toString();
        const QJsonObject params = command.value("params").toObject();
        const int id = command.value("id").toInt();
        methods << method;
        auto reply = [&](const QJsonObject& result) {
            s->sendTextMessage(QString::fromUtf8(
                QJsonDocument(QJsonObject{{"type", "success"}, {"id", id}, {"result", result}}).toJson(QJsonDocument::Compact)));
        };
        auto refuse = [&](const QString& error, const QString& message) {
            s->sendTextMessage(QString::fromUtf8(QJsonDocument(QJsonObject{
                {"type", "error"}, {"id", id}, {"error", error}, {"message", message}}).toJson(QJsonDocument::Compact)));
        };
        if (method == "session.new") {
            if (busy || sessionOpen)
                return refuse("session not created", "Maximum number of active sessions");
            sessionOpen = true;
            ++sessions;
            const QByteArray answer = QJsonDocument(QJsonObject{
                {"type", "success"}, {"id", id}, {"result", QJsonObject{{"sessionId", "S"}}}}).toJson(QJsonDocument::Compact);
            if (sessionDelayMs > 0)
                QTimer::singleShot(sessionDelayMs, s, [s, answer] { s->sendTextMessage(QString::fromUtf8(answer)); });
            else
                s->sendTextMessage(QString::fromUtf8(answer));
            return;
        }
        if (!sessionOpen)
            return refuse("invalid session id", "no session");
        if (method == "session.end") {
            sessionOpen = false;
            return reply({});
        }
        if (method == "browsingContext.getTree") {
            QJsonArray contexts;
            for (size_t i = 0; i < tabs.size(); ++i)
                contexts.append(QJsonObject{{"context", contextOf(int(i))}, {"url", tabs[i].url},
                                            {"userContext", tabs[i].userContext}, {"children", QJsonValue()},
                                            {"parent", QJsonValue()}});
            return reply({{"contexts", contexts}});
        }
        if (method == "storage.getCookies") {
            cookieParams.push_back(params);
            // The filter's fields match a cookie's exactly.
            const QJsonObject filter = params.value("filter").toObject();
            QJsonArray matching;
            for (const QJsonValue& c : std::as_const(cookies)) {
                bool all = true;
                for (auto it = filter.begin(); it != filter.end(); ++it)
                    all = all && c.toObject().value(it.key()) == it.value();
                if (all)
                    matching.append(c);
            }
            return reply({{"cookies", matching}, {"partitionKey", QJsonObject()}});
        }
        if (method == "script.evaluate") {
            evaluations.push_back(params);
            const QString expression = params.value("expression").toString();
            const QString context = params.value("target").toObject().value("context").toString();
            for (size_t i = 0; i < tabs.size(); ++i) {
                if (context != contextOf(int(i)))
                    continue;
                if (expression == contextIdentityExpression())
                    return reply(string(QString::fromUtf8(QJsonDocument(QJsonArray{tabs[i].title, tabs[i].timeOrigin})
                                                              .toJson(QJsonDocument::Compact))));
                if (expression == "performance.timeOrigin")
                    return reply({{"type", "success"},
                                  {"result", QJsonObject{{"type", "number"}, {"value", tabs[i].timeOrigin}}}});
            }
            if (closeOnEvaluate) {
                s->close();
                return;
            }
            return reply(evaluate ? evaluate(expression, context) : string(QString()));
        }
        refuse("unknown command", method);
    }

    QTcpServer m_http;
    QWebSocketServer m_server;
};

BrowserEndpointSources only(const QTemporaryDir& dir, const QStringList& endpoints)
{
    BrowserEndpointSources s;
    s.profileRoot = dir.filePath("none");
    s.fixedEndpoints = endpoints;
    s.settingsFile = dir.filePath("none.ini");
    return s;
}

const QString kDoc = R"({"v":2,"id":0,"url":"http://g/","title":"Gallery","base":"http://g/",)"
                     R"("nodes":[-1,2,"html",0,0,4,"a",1,"href","x.html","http://g/x.html"],"frames":[]})";

BidiContext listedTab(const FakeFirefox& firefox, int tab)
{
    return {firefox.tabs[size_t(tab)].title, firefox.tabs[size_t(tab)].url, QStringLiteral("old"), QStringLiteral("default"),
            firefox.socket(), tab, int(firefox.tabs.size()), firefox.tabs[size_t(tab)].timeOrigin};
}

} // namespace

TEST(BidiWindowList, ListsTheTopLevelContextsInOneSession)
{
    FakeFirefox firefox;
    firefox.tabs = {{"http://g/1", "First", 1700000000123.25}, {"about:blank", "", 1700000000456.5},
                    {"http://g/2", "Second \"quoted\"", 1700000000789.0}};
    // A Chromium on the side: its version is DevTools', so it is never asked for a session.
    pxt::test::LocalServer chromium(pxt::test::Script{pxt::test::send(
        "HTTP/1.1 200 OK\r\nContent-Length: 22\r\nConnection: close\r\n\r\n{\"Browser\":\"Chrome/1\"}")});
    QTemporaryDir dir;
    const QStringList endpoints = {QStringLiteral("127.0.0.1:%1").arg(chromium.port()), firefox.endpoint()};
    BidiWindowList list(only(dir, endpoints));
    list.refresh();
    EXPECT_EQ(list.endpoints(), endpoints);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(0)->locationName(), "First");
    EXPECT_EQ(list.item(0)->locationUrl(), "http://g/1");
    EXPECT_EQ(list.item(1)->locationUrl(), "about:blank");
    EXPECT_EQ(list.item(2)->locationName(), "Second \"quoted\"");
    EXPECT_THROW(list.item(3), Error);
    // (A connection the client opened and left unused, on a busy machine, holds no request.)
    const std::vector<QByteArray> asked = chromium.requests();
    EXPECT_EQ(std::count_if(asked.begin(), asked.end(), [](const QByteArray& r) { return !r.isEmpty(); }), 2)
        << "only /json/version and /session over plain HTTP";

    EXPECT_EQ(firefox.methods, QStringList({"session.new", "browsingContext.getTree", "script.evaluate",
                                            "script.evaluate", "script.evaluate", "session.end"}));
    EXPECT_FALSE(firefox.sessionOpen);
    for (const QJsonObject& e : firefox.evaluations) {
        EXPECT_EQ(e.value("target").toObject().value("sandbox").toString(), "pixtrawl") << "never the page's own world";
        EXPECT_TRUE(e.value("awaitPromise").toBool());
        EXPECT_EQ(e.value("resultOwnership").toString(), "none");
    }
    EXPECT_TRUE(firefox.origin.isEmpty()) << "no Origin header: Firefox refuses clients that send one";

    // Another program holds the one session: the browser is left out, without a message.
    firefox.busy = true;
    firefox.methods.clear();
    list.refresh();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.endpoints(), endpoints);
    EXPECT_EQ(firefox.methods, QStringList({"session.new"}));
}

// Firefox keeps a session whose session.new outlived its client: a slow one is waited for, used and
// ended, though it takes longer than the endpoints' answer time.
TEST(BidiWindowList, WaitsForASlowSessionAndEndsIt)
{
    FakeFirefox firefox;
    firefox.tabs = {{"http://g/1", "First", 1.0}};
    firefox.sessionDelayMs = BidiWindowList::kAnswerTimeoutMs + 500;
    QTemporaryDir dir;
    BidiWindowList list(only(dir, {firefox.endpoint()}));
    list.refresh();
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.item(0)->locationName(), "First");
    EXPECT_EQ(firefox.methods.last(), "session.end");
    EXPECT_FALSE(firefox.sessionOpen);
}

TEST(BidiWindow, ReadsTheDocumentAndItsFramesOfAnotherOriginInSandboxes)
{
    const QString top = R"({"v":2,"id":0,"url":"http://g/","title":"Top","base":"http://g/","nodes":[-1,2,"html",0],)"
                        R"("frames":[{"slot":0,"error":"Permission denied to access property \"document\""},)"
                        R"({"slot":1,"error":"x"},{"error":"gone"}]})";
    const QString inner = R"({"v":2,"id":0,"url":"http://o/","title":"Inner","base":"http://o/",)"
                          R"("nodes":[-1,4,"a",1,"href","p.jpg","http://o/p.jpg"],"frames":[]})";
    FakeFirefox firefox;
    firefox.tabs = {{"http://elsewhere/", "Elsewhere", 1.5}, {"http://g/", "Top", 2.5}};
    QStringList read; // where the serializer ran
    firefox.evaluate = [&](const QString& expression, const QString& context) -> QJsonObject {
        if (expression == frameSlotElementExpression(0) + ".contentWindow")
            return {{"type", "success"}, {"result", QJsonObject{{"type", "window"}, {"value", QJsonObject{{"context", "17"}}}}}};
        if (expression == frameSlotElementExpression(1) + ".contentWindow")
            return {{"type", "success"}, {"result", QJsonObject{{"type", "undefined"}}}}; // its element went away
        if (expression == forgetFrameSlotsExpression())
            return {{"type", "success"}, {"result", QJsonObject{{"type", "boolean"}, {"value", true}}}};
        read << context;
        EXPECT_EQ(expression, frameSlotReaderScript(context == firefox.contextOf(1) ? BidiWindow::kLazyWaitMs
                                                                                 : expression.section("lazyWaitMs: ", 1).section(',', 0, 0).toInt()));
        return FakeFirefox::string(context == "17" ? inner : top);
    };
    // Listed in an earlier session, under another name, and a tab opened before it since.
    BidiContext listed = listedTab(firefox, 1);
    listed.index = 0;
    BidiWindow window(listed);
    const std::shared_ptr<Document> doc = window.document();
    EXPECT_EQ(read, QStringList({"s1-1", "17"})) << "the tab found again by its document";
    ASSERT_EQ(doc->framesLength(), 3);
    EXPECT_EQ(doc->frame(0)->title(), "Inner");
    ASSERT_EQ(doc->frame(0)->links().size(), 1u);
    EXPECT_EQ(doc->frame(0)->links()[0]->href(), "http://o/p.jpg");
    EXPECT_THROW(doc->frame(1), Error) << "a slot whose element is gone stays unreadable";
    EXPECT_THROW(doc->frame(2), Error);
    EXPECT_EQ(firefox.evaluations.back().value("expression").toString(), forgetFrameSlotsExpression());
    EXPECT_EQ(firefox.methods.first(), "session.new");
    EXPECT_EQ(firefox.methods.last(), "session.end");
    EXPECT_FALSE(firefox.sessionOpen);
}

TEST(BidiWindow, FailuresNameTheWindowsTitleAndEndTheSession)
{
    struct Case {
        const char* name;
        std::function<void(FakeFirefox&)> setUp;
        const char* reason;
        bool sessionEnded;
    };
    const Case cases[] = {
        {"exception in the page",
         [](FakeFirefox& f) {
             f.evaluate = [](const QString&, const QString&) -> QJsonObject {
                 return {{"type", "exception"},
                         {"exceptionDetails", QJsonObject{{"text", "TypeError: boom\nmore"}, {"lineNumber", 0}}}};
             };
         },
         "the page raised an exception: TypeError: boom", true},
        {"not a string",
         [](FakeFirefox& f) {
             f.evaluate = [](const QString&, const QString&) -> QJsonObject {
                 return {{"type", "success"}, {"result", QJsonObject{{"type", "number"}, {"value", 42}}}};
             };
         },
         "the page's answer is no document", true},
        {"not a document", [](FakeFirefox& f) { f.evaluate = [](const QString&, const QString&) { return FakeFirefox::string("[1,2"); }; },
         "", true},
        {"driven by another program", [](FakeFirefox& f) { f.busy = true; }, "another program is driving the browser", false},
        {"window closed since", [](FakeFirefox& f) { f.tabs.clear(); }, "the window was closed", true},
        {"connection dropped", [](FakeFirefox& f) { f.closeOnEvaluate = true; }, "the connection was closed", false},
    };
    for (const Case& c : cases) {
        FakeFirefox firefox;
        firefox.tabs = {{"http://g/", "My \"Gallery\"", 5.0}};
        const BidiContext listed = listedTab(firefox, 0);
        c.setUp(firefox);
        BidiWindow window(listed);
        try {
            window.document();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().startsWith("The page \"My \"Gallery\"\" could not be read: ")) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QString::fromUtf8(c.reason))) << c.name << ": " << e.text().toStdString();
        }
        EXPECT_EQ(firefox.methods.last() == "session.end", c.sessionEnded) << c.name;
        if (!firefox.closeOnEvaluate)
            EXPECT_FALSE(firefox.sessionOpen) << c.name << ": a session left open locks the browser";
    }

    // Nothing listening.
    quint16 closed = 0;
    ::close(pxt::test::loopbackSocket(closed, -1));
    BidiWindow gone({"Gone", "http://g/", "c", "default", QStringLiteral("ws://127.0.0.1:%1/session").arg(closed), 0, 1, 1.0});
    EXPECT_THROW(gone.document(), Error);
    EXPECT_THROW(gone.cookies({QUrl("http://g/")}), Error);
}

TEST(BidiWindow, CookiesOfItsStoreForTheAddresses)
{
    FakeFirefox firefox;
    firefox.tabs = {{"https://www.example.org/gallery/", "Gallery", 5.0, "container-7"}};
    auto cookie = [](const char* name, const char* domain, const char* path, bool secure, bool httpOnly,
                     const char* sameSite, QJsonValue expiry = QJsonValue()) {
        QJsonObject o{{"name", name}, {"value", QJsonObject{{"type", "string"}, {"value", "dummy"}}}, {"domain", domain},
                      {"path", path}, {"secure", secure}, {"httpOnly", httpOnly}, {"sameSite", sameSite}, {"size", 5}};
        if (!expiry.isNull())
            o.insert("expiry", expiry);
        return o;
    };
    firefox.cookies = {cookie("host", "www.example.org", "/", false, true, "lax"),
                       cookie("domain", ".example.org", "/gallery", true, false, "strict", 1800000000),
                       cookie("other", "other.example", "/", false, false, "none"),
                       cookie("deep", "www.example.org", "/gallery/deep", false, false, "default"),
                       cookie("", "www.example.org", "/", false, false, "none")}; // no name: none to send
    BidiWindow window(listedTab(firefox, 0));
    BidiContext c = window.context();
    c.userContext = "container-7";
    BidiWindow inContainer(c);
    const QList<QNetworkCookie> got = inContainer.cookies({QUrl("https://img.example.org/gallery/1.jpg"),
                                                           QUrl("https://www.example.org/gallery/")});
    ASSERT_EQ(got.size(), 2);
    // In the order the domains were asked for.
    EXPECT_EQ(got[1].name(), "host");
    EXPECT_TRUE(got[1].isHttpOnly());
    EXPECT_EQ(got[1].sameSitePolicy(), QNetworkCookie::SameSite::Lax);
    EXPECT_EQ(got[1].domain(), "www.example.org");
    EXPECT_FALSE(got[1].expirationDate().isValid());
    EXPECT_EQ(got[0].name(), "domain");
    EXPECT_EQ(got[0].domain(), ".example.org");
    EXPECT_EQ(got[0].path(), "/gallery");
    EXPECT_TRUE(got[0].isSecure());
    EXPECT_EQ(got[0].sameSitePolicy(), QNetworkCookie::SameSite::Strict);
    EXPECT_EQ(got[0].expirationDate(), QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC));
    // Asked for by the domains the addresses' cookies may name, never the whole store.
    QStringList asked;
    for (const QJsonObject& params : firefox.cookieParams) {
        const QJsonObject partition = params.value("partition").toObject();
        EXPECT_EQ(partition.value("type").toString(), "storageKey");
        EXPECT_EQ(partition.value("userContext").toString(), "container-7") << "the window's own cookie store";
        asked << params.value("filter").toObject().value("domain").toString();
    }
    EXPECT_EQ(asked, QStringList({"img.example.org", ".img.example.org", "example.org", ".example.org",
                                  "www.example.org", ".www.example.org"}));
    EXPECT_EQ(firefox.methods.first(), "session.new");
    EXPECT_EQ(firefox.methods.last(), "session.end");
    EXPECT_EQ(firefox.methods.count("storage.getCookies"), asked.size());
}

TEST(BidiCookies, FromTheBrowsersRecords)
{
    const QJsonObject base64 = QJsonDocument::fromJson(
        R"({"name":"b","value":{"type":"base64","value":"ZHVtbXk="},"domain":".x.test","path":"/","secure":false,)"
        R"("httpOnly":false,"sameSite":"none","expiry":1800000000.0})").object();
    const QNetworkCookie c = cookieFromBidi(base64);
    EXPECT_EQ(c.value(), "dummy");
    EXPECT_EQ(c.sameSitePolicy(), QNetworkCookie::SameSite::None);
    EXPECT_EQ(c.expirationDate().toSecsSinceEpoch(), 1800000000);
    const QNetworkCookie d = cookieFromBidi(QJsonDocument::fromJson(
        R"({"name":"d","value":{"type":"string","value":"v"},"domain":"x.test","path":"/","sameSite":"default"})").object());
    EXPECT_EQ(d.sameSitePolicy(), QNetworkCookie::SameSite::Default);
    EXPECT_TRUE(d.isSessionCookie());

    // An expiry beyond what a date holds stays an expiry: far ahead, or long gone.
    const struct {
        const char* expiry;
        bool ahead;
    } far[] = {{"1e300", true}, {"1e18", true}, {"-1e300", false}, {"-1e18", false}};
    for (const auto& f : far) {
        const QNetworkCookie c = cookieFromBidi(QJsonDocument::fromJson(
            QByteArray(R"({"name":"e","value":{"type":"string","value":"v"},"domain":"x.test","path":"/","expiry":)")
            + f.expiry + "}").object());
        EXPECT_FALSE(c.isSessionCookie()) << f.expiry;
        if (f.ahead)
            EXPECT_GT(c.expirationDate(), QDateTime::currentDateTimeUtc().addYears(1000)) << f.expiry;
        else
            EXPECT_LT(c.expirationDate(), QDateTime::currentDateTimeUtc().addYears(-1000)) << f.expiry;
    }
}

// Firefox names the top-level contexts anew in each session: the listed one is found by its document,
// else by its place while the tabs are as many.
TEST(BidiContexts, FoundAgainInALaterSession)
{
    const QJsonObject tree = QJsonDocument::fromJson(
        R"({"contexts":[{"context":"a","url":"http://g/","userContext":"default"},
                         {"context":"b","url":"http://g/","userContext":"c1"},
                         {"url":"http://no-id/"},
                         {"context":"c","url":"http://h/"}]})").object();
    const std::vector<BidiContext> now = topLevelContexts(tree, "ws://x/session");
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now[1].userContext, "c1");
    EXPECT_EQ(now[2].index, 2);
    EXPECT_EQ(now[2].contexts, 3);

    const std::map<QString, double> origins = {{"a", 1.0}, {"b", 2.0}, {"c", 3.0}};
    auto timeOrigin = [&](const QString& c) { return origins.at(c); };
    struct Case {
        const char* name;
        QString url;
        double timeOrigin;
        int index;
        int contexts;
        QString expected;
    };
    const Case cases[] = {
        {"same document", "http://g/", 2.0, 0, 3, "b"},
        {"reloaded, tabs unchanged", "http://g/", 9.0, 2, 3, "c"},
        {"reloaded, a tab opened since", "http://g/", 9.0, 2, 2, ""},
        {"time origin unknown", "http://g/", 0, 1, 3, "b"},
        {"place beyond the tabs", "http://z/", 9.0, 5, 3, ""},
    };
    for (const Case& c : cases) {
        BidiContext listed{"t", c.url, "old", "default", "ws://x/session", c.index, c.contexts, c.timeOrigin};
        EXPECT_EQ(findContext(tree, listed, timeOrigin), c.expected) << c.name;
    }
}
