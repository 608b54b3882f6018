#include "http/HttpClient.h"
#include "http/BrowserSession.h"

#include "core/Error.h"
#include "core/Pump.h"
#include "testing/LocalServer.h"
#include "tests/http/GetError.h"

#include <gtest/gtest.h>

#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// Counts the client's events and keeps what Header held at the first packet.
struct Events {
    explicit Events(HttpClient& client)
    {
        client.onPacketReceived = [this, &client] {
            if (packets++ == 0)
                headerAtFirstPacket = client.headerText();
        };
        client.onSuccess = [this] { ++successes; };
    }
    int packets = 0;
    int successes = 0;
    QString headerAtFirstPacket;
};

class HttpClientTest : public ::testing::Test {
protected:
    void TearDown() override { setPumpHook({}); }
};

TEST_F(HttpClientTest, RequestLineAndHostLineComeFromTheAddress)
{
    LocalServer server(Script {send(okResponse("x"))});
    const QString port = QString::number(server.port());
    const QByteArray hostPort = ":" + port.toLatin1();
    const QString longPath = QStringLiteral("/") + QString(499, QLatin1Char('p'));
    struct Case {
        QString url;
        QByteArray requestLine;
        QByteArray hostLine;
    };
    const std::vector<Case> cases = {
        // A port other than the scheme's own is part of the Host line.
        {QStringLiteral("http://localhost:") + port + "/a/b.jpg", "GET /a/b.jpg HTTP/1.0", "Host: localhost" + hostPort},
        {QStringLiteral("http://127.0.0.1:") + port, "GET / HTTP/1.0", "Host: 127.0.0.1" + hostPort},
        // A long path goes out whole.
        {QStringLiteral("http://127.0.0.1:") + port + longPath, "GET " + longPath.toLatin1() + " HTTP/1.0",
         "Host: 127.0.0.1" + hostPort},
        // Nothing in an address can break the request line or add a line.
        {QStringLiteral("http://127.0.0.1:") + port + "/a b\r\nX: 1/\u00e9", "GET /a%20b%0D%0AX:%201/%C3%A9 HTTP/1.0",
         "Host: 127.0.0.1" + hostPort},
        // A user name and password are never the host, nor sent; a fragment stays with the browser; a
        // scheme in capitals is still http.
        {QStringLiteral("http://user:pw@127.0.0.1:") + port + "/u.jpg?x=1#part", "GET /u.jpg?x=1 HTTP/1.0",
         "Host: 127.0.0.1" + hostPort},
        {QStringLiteral("HTTP://LocalHost:") + port + "/A.jpg", "GET /A.jpg HTTP/1.0", "Host: localhost" + hostPort},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].url.toStdString());
        HttpClient client;
        client.get(cases[i].url);
        ASSERT_EQ(server.requests().size(), i + 1);
        const QList<QByteArray> lines = server.requests()[i].split('\n');
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines[0], cases[i].requestLine + "\r");
        EXPECT_EQ(lines[1], cases[i].hostLine + "\r");
        EXPECT_FALSE(server.requests()[i].contains("pw")) << server.requests()[i].constData();
        EXPECT_EQ(client.port(), server.port());
        EXPECT_FALSE(client.isConnected());
    }
    // An address that ends at the host gets its slash.
    HttpClient client;
    client.get(server.url(QString()));
    EXPECT_EQ(client.url(), server.url(QStringLiteral("/")));
    EXPECT_EQ(server.requests().back(), "GET / HTTP/1.0\r\n"
                                        "Host: 127.0.0.1" + hostPort + "\r\n"
                                        "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                                        "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
                                        "Content-type: application/x-www-form-urlencoded\r\n"
                                        "\r\n");
}

TEST_F(HttpClientTest, HeaderIsCompleteAtTheFirstBodyPacket)
{
    const QByteArray header = "HTTP/1.0 200 OK\r\nServer: test\r\nContent-Length: 7\r\n\r\n";
    LocalServer server(Script {send(header.left(10)), pause(20), send(header.mid(10)), pause(20), send("abc"),
                                  pause(20), send("defg")});
    HttpClient client;
    Events events(client);
    client.get(server.url(QStringLiteral("/a.jpg")));
    EXPECT_EQ(events.headerAtFirstPacket, QString::fromLatin1(header));
    EXPECT_GE(events.packets, 1);
    EXPECT_EQ(events.successes, 1);
    EXPECT_EQ(client.replyNumber(), 200);
    EXPECT_EQ(client.contentLength(), 7);
    EXPECT_EQ(client.body(), "abcdefg");
    EXPECT_EQ(client.receivedBodyBytes(), 7);
}

TEST_F(HttpClientTest, ResponseShapes)
{
    struct Case {
        const char* name;
        Script script;
        int reply;
        QByteArray header;
        bool packets;
        int successes;
    };
    const QByteArray longLine = "X-Long: " + QByteArray(200000, 'a') + "\r\n";
    const QByteArray cutLine = longLine.left(HttpClient::kBufferSize) + "\r\n";
    const std::vector<Case> cases = {
        {"empty body", {send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")}, 200,
         "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", false, 1},
        {"no status line", {}, 0, "", false, 1},
        {"status line only", {send("HTTP/1.0 204 No Content\n")}, 204, "HTTP/1.0 204 No Content\n", false, 1},
        {"garbage status line", {send("\x01\xff\x7f garbage\r\n\r\nbody")}, 0, "\x01\xff\x7f garbage\r\n\r\n", true, 1},
        {"error status", {send("HTTP/1.0 404 Not Found\r\n\r\nmissing")}, 404, "HTTP/1.0 404 Not Found\r\n\r\n", true, 0},
        {"header line longer than the buffer", {send("HTTP/1.0 200 OK\r\n" + longLine + "Content-Length: 3\r\n\r\nabc")},
         200, "HTTP/1.0 200 OK\r\n" + cutLine + "Content-Length: 3\r\n\r\n", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer server(c.script);
        HttpClient client;
        Events events(client);
        EXPECT_EQ(getError(client, server.url(QStringLiteral("/x"))), QString());
        EXPECT_EQ(client.replyNumber(), c.reply);
        EXPECT_EQ(client.headerText(), QString::fromLatin1(c.header));
        EXPECT_EQ(events.packets > 0, c.packets);
        EXPECT_EQ(events.successes, c.successes);
        EXPECT_FALSE(client.isConnected());
    }
}

TEST_F(HttpClientTest, RedirectsGoToTheirLocation)
{
    struct Case {
        QByteArray status;
        QByteArray location;
        QByteArray secondRequestLine;
        QByteArray secondHost;
    };
    const std::vector<Case> cases = {
        {"301 Moved", "/new/b.jpg", "GET /new/b.jpg HTTP/1.0", "127.0.0.1"},
        // A relative Location resolves against the current address, on its server and port.
        {"302 Found", "b.jpg", "GET /a/b.jpg HTTP/1.0", "127.0.0.1"},
        {"303 See Other", "../c.jpg?x=1", "GET /c.jpg?x=1 HTTP/1.0", "127.0.0.1"},
        {"307 Temporary Redirect", "http://localhost:PORT/c.jpg", "GET /c.jpg HTTP/1.0", "localhost"},
        {"308 Permanent Redirect", "//localhost:PORT/d.jpg", "GET /d.jpg HTTP/1.0", "localhost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.constData());
        LocalServer* self = nullptr;
        LocalServer server([&](int index, const QByteArray&) {
            if (index > 0)
                return Script {send(okResponse("final"))};
            QByteArray location = c.location;
            location.replace("PORT", QByteArray::number(self->port()));
            return Script {send("HTTP/1.0 " + c.status + "\r\nLocation: " + location + "\r\nContent-Length: 4\r\n\r\nmove")};
        });
        self = &server;
        HttpClient client;
        Events events(client);
        client.get(server.url(QStringLiteral("/a/old.jpg")));
        ASSERT_EQ(server.requests().size(), 2u);
        const QList<QByteArray> lines = server.requests()[1].split('\n');
        EXPECT_EQ(lines[0], c.secondRequestLine + "\r");
        EXPECT_EQ(lines[1], "Host: " + c.secondHost + ":" + QByteArray::number(server.port()) + "\r");
        EXPECT_EQ(events.successes, 1);
        EXPECT_EQ(client.body(), "final");
        EXPECT_EQ(client.replyNumber(), 200);
    }
}

// A redirect's Set-Cookie goes with the rest of that request only, by the rules of the browser's
// cookies, and only while the browser's login is used.
TEST_F(HttpClientTest, ARedirectsCookieLivesForItsRequestByTheBrowsersRules)
{
    enum class Login { On, Off, NoSession };
    struct Case {
        const char* name;
        QByteArray setCookie;
        QString redirectHost; // where the redirect leads (the same port)
        bool crossSitePage;   // the picture was found on another site's page
        Login login;
        QByteArray sent; // the Cookie line of the redirect's request; empty: none
    };
    const std::vector<Case> cases = {
        {"the name and value alone", "hop=1; Path=/; HttpOnly", "127.0.0.1", false, Login::On, "hop=1"},
        {"login off", "hop=1", "127.0.0.1", false, Login::Off, ""},
        {"no session", "hop=1", "127.0.0.1", false, Login::NoSession, ""},
        {"host-only, to another host", "hop=1", "localhost", false, Login::On, ""},
        {"a domain the host is not in", "hop=1; Domain=example.com", "127.0.0.1", false, Login::On, ""},
        {"Secure over http", "hop=1; Secure", "127.0.0.1", false, Login::On, ""},
        {"a path elsewhere", "hop=1; Path=/other", "127.0.0.1", false, Login::On, ""},
        {"Lax from another site's page", "hop=1; SameSite=Lax", "127.0.0.1", true, Login::On, ""},
        {"no SameSite from another site's page", "hop=1", "127.0.0.1", true, Login::On, ""},
        {"SameSite=None from another site's page", "hop=1; SameSite=None", "127.0.0.1", true, Login::On, "hop=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer* self = nullptr;
        LocalServer server([&](int, const QByteArray& request) {
            if (requestPath(request) == "/a.jpg") {
                const QByteArray next = self->url(QStringLiteral("/b.jpg"), c.redirectHost).toLatin1();
                return Script {send("HTTP/1.0 302 Found\r\nSet-Cookie: " + c.setCookie + "\r\nLocation: " + next + "\r\n\r\n")};
            }
            return Script {send(okResponse("ok"))};
        });
        self = &server;
        BrowserSession session;
        const QString page = c.crossSitePage ? QStringLiteral("http://gallery.example/album.html")
                                             : server.url(QStringLiteral("/album.html"));
        session.addReferer(server.url(QStringLiteral("/a.jpg")), page);
        session.addReferer(server.url(QStringLiteral("/c.jpg")), page);
        session.setEnabled(c.login != Login::Off);
        HttpClient client;
        if (c.login != Login::NoSession)
            client.setSession(&session);
        client.get(server.url(QStringLiteral("/a.jpg")));
        client.get(server.url(QStringLiteral("/c.jpg")));
        const std::vector<QByteArray> requests = server.requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(requestHeader(requests[1], "Cookie"), c.sent) << requests[1].constData();
        EXPECT_FALSE(requests[2].contains("Cookie:")) << "a later request: " << requests[2].constData();
    }
}

TEST_F(HttpClientTest, RequestsCarryTheSessionsCookiesAndReferer)
{
    LocalServer server([](int index, const QByteArray&) {
        if (index == 0)
            return Script {send("HTTP/1.0 302 Found\r\nSet-Cookie: hop=1\r\nLocation: /pics/b.jpg\r\n\r\n")};
        return Script {send(okResponse("ok"))};
    });
    BrowserSession session;
    QNetworkCookie login("sid", "s1");
    login.setDomain(QStringLiteral("127.0.0.1"));
    login.setPath(QStringLiteral("/pics"));
    session.addCookies({login});
    const QString gallery = server.url(QStringLiteral("/gallery.html?key=s3cret"));
    session.addReferer(server.url(QStringLiteral("/a.jpg")), gallery);
    session.addReferer(server.url(QStringLiteral("/pics/c.jpg")), QStringLiteral("https://127.0.0.1/secret.html"),
                       ReferrerPolicy::UnsafeUrl);

    HttpClient client;
    client.setSession(&session);
    client.get(server.url(QStringLiteral("/a.jpg")));      // redirected into /pics
    client.get(server.url(QStringLiteral("/pics/c.jpg"))); // named to http as its policy asks
    client.setSession(nullptr);
    client.get(server.url(QStringLiteral("/pics/d.jpg")));
    const std::vector<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[0].contains("Cookie:")) << "the cookie's path is /pics";
    EXPECT_TRUE(requests[0].contains("\r\nReferer: " + gallery.toLatin1() + "\r\n")) << requests[0].constData();
    EXPECT_TRUE(requests[1].contains("\r\nCookie: sid=s1; hop=1\r\n")) << requests[1].constData();
    EXPECT_TRUE(requests[1].contains("\r\nReferer: " + gallery.toLatin1() + "\r\n")) << "kept through the redirect";
    // The redirect's cookie went with its request only; and for a picture of an https page an http
    // address is another site, which gets no cookie without SameSite=None.
    EXPECT_FALSE(requests[2].contains("Cookie:")) << requests[2].constData();
    EXPECT_TRUE(requests[2].contains("\r\nReferer: https://127.0.0.1/secret.html\r\n")) << requests[2].constData();
    EXPECT_FALSE(requests[3].contains("sid=") || requests[3].contains("Referer:")) << requests[3].constData();
}

// The Referer is recomputed for each address a redirect leads to: the whole gallery address to its
// own origin, the origin alone to another site, the secret key never.
TEST_F(HttpClientTest, ARedirectToAnotherSiteGetsTheOriginAlone)
{
    QString elsewhere;
    LocalServer server([&](int index, const QByteArray&) {
        if (index == 0)
            return Script {send("HTTP/1.0 302 Found\r\nLocation: " + elsewhere.toLatin1() + "\r\n\r\n")};
        return Script {send(okResponse("ok"))};
    });
    elsewhere = server.url(QStringLiteral("/cdn/b.jpg"), QStringLiteral("localhost"));
    BrowserSession session;
    const QString gallery = server.url(QStringLiteral("/album.html?key=s3cret"));
    session.addReferer(server.url(QStringLiteral("/a.jpg")), gallery);
    HttpClient client;
    client.setSession(&session);
    client.get(server.url(QStringLiteral("/a.jpg")));
    const std::vector<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].contains("\r\nReferer: " + gallery.toLatin1() + "\r\n")) << requests[0].constData();
    EXPECT_TRUE(requests[1].contains("\r\nReferer: " + server.url(QStringLiteral("/")).toLatin1() + "\r\n"))
        << requests[1].constData();
    EXPECT_FALSE(requests[1].contains("s3cret")) << requests[1].constData();
}

TEST_F(HttpClientTest, RedirectsEndAfterTheLimitAndOtherRepliesAtOnce)
{
    struct Case {
        QByteArray status;
        size_t requests;
    };
    const std::vector<Case> cases = {
        {"302 Found\r\nLocation: /again", 1 + HttpClient::kMaxRepeats},
        // A redirect without a Location, any other 3xx, and 299 end the request at once.
        {"303 See Other", 1},
        {"301 Moved\r\nLocation: http://", 1},
        {"304 Not Modified\r\nLocation: /again", 1},
        {"299 Odd", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.constData());
        LocalServer server(Script {send("HTTP/1.0 " + c.status + "\r\n\r\n")});
        HttpClient client;
        Events events(client);
        EXPECT_EQ(getError(client, server.url(QStringLiteral("/start"))), QString());
        EXPECT_EQ(server.requests().size(), c.requests);
        EXPECT_EQ(events.successes, 0);
        EXPECT_EQ(client.replyNumber(), c.status.left(3).toInt());
        EXPECT_FALSE(client.isConnected());
    }
}

TEST_F(HttpClientTest, FailuresEndGetWithTheirText)
{
    // A port nobody listens on.
    quint16 closedPort = 0;
    ::close(loopbackSocket(closedPort, -1));

    // A server whose backlog is full: the next connection stays unanswered.
    quint16 fullPort = 0;
    const int full = loopbackSocket(fullPort, 0);
    const sockaddr_in a = loopbackAddress(fullPort);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);

    const QByteArray header = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n";
    struct Case {
        const char* name;
        Script script;
        QString url; // empty: the scripted server's
        QString text;
        // Asks the client to stop once this holds; checked at every turn of a wait.
        std::function<bool(const HttpClient&, int turn)> abortWhen;
        int idleLimitMs = 0;
    };
    const auto afterTurns = [](int n) { return [n](const HttpClient&, int turn) { return turn >= n; }; };
    const std::vector<Case> cases = {
        {"request line over 8 KiB", {}, QStringLiteral("http://127.0.0.1:%1/").arg(closedPort) + QString(8200, QLatin1Char('a')),
         QStringLiteral("Anfragezeile zu lang"), {}},
        {"refused", {}, QStringLiteral("http://127.0.0.1:%1/a.jpg").arg(closedPort),
         QStringLiteral("Verbindung fehlgeschlagen"), {}},
        {"unresolvable", {}, QStringLiteral("http://nohost.invalid/a.jpg"), QStringLiteral("Host-Lookup fehlgeschlagen"), {}},
        {"abort during the lookup", {}, QStringLiteral("http://abort-lookup.invalid:%1/a.jpg").arg(closedPort),
         QStringLiteral("Host-Lookup abgebrochen"), afterTurns(1)},
        {"abort while connecting", {}, QStringLiteral("http://127.0.0.1:%1/a.jpg").arg(fullPort),
         QStringLiteral("Verbindung abgebrochen"), afterTurns(20)},
        {"abort while reading the header", {send(header), hold()}, {}, QStringLiteral("Socket-readln abgebrochen"),
         afterTurns(30)},
        {"server dripping a byte every 100 ms", {drip(header, 100)}, {}, QStringLiteral("Socket-readln abgebrochen"),
         afterTurns(150)},
        {"abort while reading the body", {send(header + "\r\nabc"), hold()}, {},
         QStringLiteral("Socket-Capture abgebrochen"), afterTurns(30)},
        {"body that never ends", {send("HTTP/1.0 200 OK\r\n\r\n"), sendForever(QByteArray(8192, 'b'))}, {},
         QStringLiteral("Socket-Capture abgebrochen"),
         [](const HttpClient& c, int) { return c.receivedBodyBytes() > 4 * 1024 * 1024; }},
        {"flood of header lines", {send("HTTP/1.0 200 OK\r\n"), sendForever("X-Flood: aaaaaaaaaaaaaaaa\r\n")}, {},
         QStringLiteral("Header too large"), {}},
        {"one endless header line", {send("HTTP/1.0 200 OK\r\nX: "), sendForever(QByteArray(8192, 'x'))}, {},
         QStringLiteral("Header too large"), {}},
        {"reset in the middle of the header", {send(header), pause(20), reset()}, {},
         QStringLiteral("10054:Connection reset by peer"), {}},
        {"time-out", {send(header), hold()}, {}, QStringLiteral("10060:Connection timed out"), {}, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer server(c.script);
        HttpClient client(c.idleLimitMs);
        int turns = 0;
        if (c.abortWhen) {
            setPumpHook([&] {
                if (c.abortWhen(client, ++turns))
                    client.abort();
            });
        }
        const QString url = c.url.isEmpty() ? server.url(QStringLiteral("/a.jpg")) : c.url;
        EXPECT_EQ(getError(client, url).toStdString(), c.text.toStdString());
        setPumpHook({});
        EXPECT_FALSE(client.isConnected());
    }
    ::close(filler);
    ::close(full);
}

TEST_F(HttpClientTest, GetClearsAnEarlierAbortAndRefusesWhileConnected)
{
    LocalServer server(Script {send(okResponse("12345"))});
    HttpClient client;
    client.abort();
    Events events(client);
    EXPECT_EQ(getError(client, server.url(QStringLiteral("/a"))), QString());
    EXPECT_EQ(events.successes, 1);

    QString inner;
    client.onPacketReceived = [&] { inner = getError(client, server.url(QStringLiteral("/b"))); };
    EXPECT_EQ(getError(client, server.url(QStringLiteral("/a"))), QString());
    EXPECT_EQ(inner, QStringLiteral("Bereits verbunden"));
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(HttpClientTest, DisconnectInsideThePacketEventEndsTheBody)
{
    // The server would keep the connection open for good.
    LocalServer server(Script {send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nabc"), hold()});
    HttpClient client;
    Events events(client);
    client.onPacketReceived = [&] {
        ++events.packets;
        if (client.headerText().toUpper().contains(QLatin1String("LENGTH")))
            client.disconnect();
    };
    client.get(server.url(QStringLiteral("/a.jpg")));
    EXPECT_EQ(events.packets, 1);
    EXPECT_EQ(events.successes, 1);
    EXPECT_EQ(client.body(), "abc");
    EXPECT_FALSE(client.isConnected());
}

TEST_F(HttpClientTest, DisconnectAndNewGetInsideTheEvents)
{
    // Each response names the next address; the chain runs from inside the events.
    LocalServer server([](int index, const QByteArray&) {
        return Script {send("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nbody" + QByteArray::number(index)), hold()};
    });
    HttpClient client;
    std::vector<QByteArray> bodies;
    int successes = 0;
    int depth = 0;
    client.onPacketReceived = [&] {
        bodies.push_back(client.body());
        client.disconnect();
        if (bodies.size() < 5) {
            ++depth;
            client.get(server.url(QStringLiteral("/%1").arg(bodies.size())));
            --depth;
        }
    };
    bool lastStarted = false;
    client.onSuccess = [&] {
        ++successes;
        // From inside the success event as well, without a Disconnect: the connection is closed by now.
        if (!lastStarted) {
            lastStarted = true;
            client.get(server.url(QStringLiteral("/last")));
        }
    };
    EXPECT_EQ(getError(client, server.url(QStringLiteral("/0"))), QString());
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(bodies, (std::vector<QByteArray> {"body0", "body1", "body2", "body3", "body4", "body5"}));
    // The innermost requests end with success; the outer ones, taken over, end quietly.
    EXPECT_EQ(successes, 2);
    EXPECT_EQ(server.requestLines(), (std::vector<QByteArray> {"GET /0 HTTP/1.0", "GET /1 HTTP/1.0", "GET /2 HTTP/1.0",
                                                               "GET /3 HTTP/1.0", "GET /4 HTTP/1.0",
                                                               "GET /last HTTP/1.0"}));
    EXPECT_FALSE(client.isConnected());
}

// Only http and https addresses are requested, never on a port browsers refuse; the refusal is the
// request's error, also where a redirect leads there, and nothing is sent.
TEST_F(HttpClientTest, AddressesABrowserWouldNotRequestAreRefused)
{
    LocalServer server([](int, const QByteArray& request) {
        if (requestPath(request) == "/to-ftp")
            return Script {send("HTTP/1.0 302 Found\r\nLocation: ftp://127.0.0.1/x.jpg\r\n\r\n")};
        return Script {send(okResponse("ok"))};
    });
    const QString notWeb = QStringLiteral("Keine http- oder https-Adresse");
    const struct {
        QString url;
        QString error;
        size_t requests;
    } cases[] = {
        {QStringLiteral("ftp://127.0.0.1:%1/x.jpg").arg(server.port()), notWeb, 0},
        {QStringLiteral("file:///etc/passwd"), notWeb, 0},
        {QStringLiteral("javascript:alert(1)"), notWeb, 0},
        {QStringLiteral("127.0.0.1:%1/x.jpg").arg(server.port()), notWeb, 0},
        {QStringLiteral("/x.jpg"), notWeb, 0},
        {QStringLiteral("http:///x.jpg"), notWeb, 0},
        {QStringLiteral("http://127.0.0.1:6379x/x.jpg"), notWeb, 0},
        {QStringLiteral("http://127.0.0.1:6667/x.jpg"), QStringLiteral("Port 6667 gesperrt"), 0},
        {QStringLiteral("https://127.0.0.1:25/x.jpg"), QStringLiteral("Port 25 gesperrt"), 0},
        {server.url(QStringLiteral("/to-ftp")), notWeb, 1},
    };
    size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        HttpClient client;
        Events events(client);
        EXPECT_EQ(getError(client, c.url), c.error);
        sent += c.requests;
        EXPECT_EQ(server.requests().size(), sent);
        EXPECT_EQ(events.successes, 0);
        EXPECT_FALSE(client.isConnected());
    }
}

// An IPv6 literal is the host, in brackets in the Host line.
TEST_F(HttpClientTest, AnIPv6AddressIsReached)
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHostIPv6))
        GTEST_SKIP() << "no IPv6 loopback here";
    QByteArray request;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
            request += socket->readAll();
            if (request.contains("\r\n\r\n")) {
                socket->write(okResponse("v6"));
                socket->disconnectFromHost();
            }
        });
    });
    HttpClient client;
    const QString url = QStringLiteral("http://[::1]:%1/six.jpg").arg(server.serverPort());
    EXPECT_EQ(getError(client, url), QString());
    EXPECT_EQ(client.body(), "v6");
    EXPECT_TRUE(request.startsWith("GET /six.jpg HTTP/1.0\r\nHost: [::1]:" + QByteArray::number(server.serverPort()) + "\r\n"))
        << request.constData();
}

// A server that trickles keeps its connection from the idle limit, not from the overall one.
TEST_F(HttpClientTest, ARequestEndsAfterItsOverallLimit)
{
    LocalServer server(Script {drip("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 100\r\n\r\n", 50)});
    HttpClient client(1000);
    client.setOverallLimit(400);
    EXPECT_EQ(getError(client, server.url(QStringLiteral("/slow.jpg"))), QStringLiteral("10060:Connection timed out"));
    EXPECT_FALSE(client.isConnected());
}

TEST_F(HttpClientTest, LongBodyIsCountedButKeptOnlyToItsLimit)
{
    const qint64 extra = 100000;
    const QByteArray chunk(1 << 20, 'z');
    Script script {send("HTTP/1.0 200 OK\r\n\r\n")};
    for (int i = 0; i < 64; ++i)
        script.push_back(send(chunk));
    script.push_back(send(QByteArray(extra, 'y')));
    LocalServer server(script);
    HttpClient client;
    Events events(client);
    client.get(server.url(QStringLiteral("/big")));
    EXPECT_EQ(client.receivedBodyBytes(), HttpClient::kMaxKeptBody + extra);
    EXPECT_EQ(client.body().size(), HttpClient::kMaxKeptBody);
    EXPECT_EQ(events.successes, 1);

    // Kept to a client's own limit, still counted whole.
    client.setMaxKeptBody(1000);
    client.get(server.url(QStringLiteral("/big")));
    EXPECT_EQ(client.receivedBodyBytes(), HttpClient::kMaxKeptBody + extra);
    EXPECT_EQ(client.body(), QByteArray(1000, 'z'));
}

} // namespace

// The response's length comes from its Content-Length line alone, with or without blanks after the
// colon; another header naming "Content-Length" in its value gives none. Its type is the media type
// of its Content-Type line, in lower case without parameters.
TEST(HttpResponse, TheLengthOfItsContentLengthLine)
{
    struct Case {
        const char* header;
        qint64 length;
        const char* type;
    };
    const Case cases[] = {
        {"Content-Length: 2048", 2048, ""},
        {"content-length:2048", 2048, ""},
        {"Content-Length: \t 77", 77, ""},
        {"Content-Length: none", -1, ""},
        {"Access-Control-Expose-Headers: Content-Length\r\nDate: Thu, 10 Dec 2026 18:00:00 GMT", -1, ""},
        {"Access-Control-Expose-Headers: Content-Length\r\nContent-Length: 5", 5, ""},
        {"X-Length: 9", -1, ""},
        {"Content-Type: image/jpeg", -1, "image/jpeg"},
        {"content-type:Text/HTML; charset=UTF-8", -1, "text/html"},
        {"Content-Type: ", -1, ""},
        {"X-Content-Type: image/png", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        HttpResponse response;
        const QByteArray text = "HTTP/1.0 200 OK\r\n" + QByteArray(c.header) + "\r\n\r\nbody";
        qint64 used = 0;
        ASSERT_TRUE(response.takeHeader(text.constData(), text.size(), used));
        EXPECT_TRUE(response.headerDone());
        EXPECT_EQ(response.contentLength(), c.length);
        EXPECT_EQ(response.contentType(), QString::fromLatin1(c.type));
    }
    HttpResponse cookie;
    const QByteArray text = "HTTP/1.0 200 OK\r\nSet-Cookie:id=42\r\nLocation:  /next\r\n\r\n";
    qint64 used = 0;
    ASSERT_TRUE(cookie.takeHeader(text.constData(), text.size(), used));
    EXPECT_EQ(cookie.setCookie(), "id=42");
    EXPECT_EQ(cookie.location(), "/next");
}
