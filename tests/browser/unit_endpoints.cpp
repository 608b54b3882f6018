// What every browser window list shares: where the endpoints are, what protocol each speaks, the
// read of frames of another origin and the joined list.
#include "browser/BrowserEndpoints.h"
#include "browser/FrameSlots.h"
#include "browser/JoinedWindows.h"
#include "core/Error.h"
#include "testing/LocalServer.h"
#include "testing/PlainWindows.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pxt;

namespace {

using pxt::test::writeFile;

QByteArray response(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

TEST(BrowserEndpoints, ProfileFoldersFixedListAndSettingsKeyEachOnce)
{
    QTemporaryDir profiles;
    writeFile(profiles.filePath("chromium/DevToolsActivePort"), "9333\n/devtools/browser/0b1c\n");
    writeFile(profiles.filePath("vivaldi/DevToolsActivePort"), "9333\n"); // the same browser port again
    writeFile(profiles.filePath("BraveSoftware/Brave-Browser/DevToolsActivePort"), "9334");
    writeFile(profiles.filePath("google-chrome/DevToolsActivePort"), "not a port\n");
    writeFile(profiles.filePath("microsoft-edge/DevToolsActivePort"), "70000\n");
    writeFile(profiles.filePath("unknown-browser/DevToolsActivePort"), "9335\n");

    test::TempProgramFolder folder;
    folder.write("pxt.ini", "[TFormMain]\r\nFlags=0\r\n[browsers]\r\n"
                            "devtoolsendpoints= LOCALHOST:9444 , bad, 127.0.0.1:9333,,[::1]:9555, h:0, h:1/x \r\n");

    // The browsers the program started: Chromium's announcement, Firefox's BiDi server file.
    QTemporaryDir launched;
    writeFile(launched.filePath("chromium/DevToolsActivePort"), "9336\n/devtools/browser/77aa\n");
    writeFile(launched.filePath("firefox-esr/WebDriverBiDiServer.json"), "{\"ws_host\": \"127.0.0.1\", \"ws_port\": 9337}");
    writeFile(launched.filePath("firefox/WebDriverBiDiServer.json"), "{\"ws_host\": \"127.0.0.1\", \"ws_port\": 0}");

    BrowserEndpointSources sources;
    sources.profileRoot = profiles.path();
    sources.launchedProfiles = launched.path();
    EXPECT_EQ(discoverBrowserEndpoints(sources),
              QStringList({"127.0.0.1:9333", "127.0.0.1:9334", "127.0.0.1:9336", "127.0.0.1:9337", "127.0.0.1:9222",
                           "localhost:9444", "[::1]:9555"}));
    EXPECT_EQ(announcedBrowserSockets(sources).value("127.0.0.1:9336"), "ws://127.0.0.1:9336/devtools/browser/77aa");
    sources.launchedProfiles = launched.filePath("none");

    // Nothing there: only the fixed endpoint.
    sources.profileRoot = profiles.filePath("nothing");
    folder.write("pxt.ini", "");
    EXPECT_EQ(discoverBrowserEndpoints(sources), QStringList({"127.0.0.1:9222"}));
}

// The settings file's reader is tested on its own; here only what the key holds.
TEST(BrowserEndpoints, SettingsKeyIsACommaList)
{
    struct Case {
        const char* ini;
        QStringList expected;
    };
    const Case cases[] = {
        {"[Browsers]\nDevToolsEndpoints=127.0.0.1:1000\n", {"127.0.0.1:1000"}},
        {"[Browsers]\r\nDevToolsEndpoints=\"127.0.0.1:1000,127.0.0.1:1001\"\r\n", {"127.0.0.1:1000", "127.0.0.1:1001"}},
        {"[Browsers]\nDevToolsEndpoints='127.0.0.1:1000'\n", {"127.0.0.1:1000"}},
        {"[browsers]\r\ndevtoolsendpoints=127.0.0.1:1000,,not an endpoint, 127.0.0.1:1001\r\n",
         {"127.0.0.1:1000", "127.0.0.1:1001"}},
        {"[Other]\nDevToolsEndpoints=127.0.0.1:1000\n", {}},
        {"[Browsers]\nDevToolsEndpoints\n", {}},
    };
    QTemporaryDir dir;
    BrowserEndpointSources sources;
    sources.profileRoot = dir.filePath("none");
    sources.fixedEndpoints = {};
    sources.settingsFile = dir.filePath("pxt.ini");
    for (const Case& c : cases) {
        writeFile(sources.settingsFile, c.ini);
        EXPECT_EQ(discoverBrowserEndpoints(sources), c.expected) << c.ini;
    }
    sources.settingsFile = dir.filePath("missing.ini");
    EXPECT_TRUE(discoverBrowserEndpoints(sources).isEmpty());
}

// What Chromium and Firefox answer, as seen from both: the version and a /session without upgrade.
TEST(BrowserEndpoints, TheProtocolFromTheAnswers)
{
    struct Case {
        const char* name;
        EndpointAnswer version;
        EndpointAnswer session;
        EndpointProtocol expected;
    };
    const Case cases[] = {
        {"Chromium", {200, R"({"Browser":"Chrome/156","webSocketDebuggerUrl":"ws://127.0.0.1:9222/devtools/browser/x"})"},
         {404, ""}, EndpointProtocol::DevTools},
        {"Firefox", {404, "<html>404 Not Found</html>"},
         {400, "The handshake request has incorrect Upgrade header: undefined"}, EndpointProtocol::WebDriverBidi},
        {"a WebSocket server wanting an upgrade", {404, ""}, {426, ""}, EndpointProtocol::WebDriverBidi},
        {"Chromium offering only its socket", {404, ""}, {404, ""}, EndpointProtocol::Unknown},
        {"nothing listening", {0, ""}, {0, ""}, EndpointProtocol::Unknown},
        {"a web server", {200, "<html>version</html>"}, {200, "<html></html>"}, EndpointProtocol::Unknown},
        {"a version that is no object", {200, "[1]"}, {400, ""}, EndpointProtocol::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(endpointProtocol(c.version, c.session), c.expected) << c.name;
}

TEST(BrowserEndpoints, AsksEveryEndpointAtOnceAndKeepsTheOrder)
{
    test::LocalServer firefox([](int, const QByteArray& request) {
        const QByteArray path = test::requestPath(request);
        return test::Script{test::send(path == "/session" ? response("400 Bad Request", "upgrade")
                                                          : response("404 Not Found", "none"))};
    });
    test::LocalServer silent(test::Script{test::hold()});
    test::LocalServer big(test::Script{test::send(response("200 OK", QByteArray(5000, 'x')))});
    quint16 closed = 0;
    ::close(test::loopbackSocket(closed, -1));
    const QStringList endpoints = {QStringLiteral("127.0.0.1:%1").arg(firefox.port()),
                                   QStringLiteral("127.0.0.1:%1").arg(silent.port()),
                                   QStringLiteral("127.0.0.1:%1").arg(closed),
                                   QStringLiteral("127.0.0.1:%1").arg(big.port())};
    const auto answers = askEndpoints(endpoints, {"/json/version", "/session"}, 500, 1000);
    ASSERT_EQ(answers.size(), 4u);
    for (const auto& a : answers)
        ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(answers[0][0].status, 404);
    EXPECT_EQ(answers[0][0].body, "none");
    EXPECT_EQ(answers[0][1].status, 400);
    EXPECT_EQ(endpointProtocol(answers[0][0], answers[0][1]), EndpointProtocol::WebDriverBidi);
    EXPECT_EQ(answers[1][0].status, 0) << "no answer in time";
    EXPECT_EQ(answers[2][1].status, 0) << "refused";
    EXPECT_EQ(answers[3][0].status, 0) << "a body over the limit is no answer";
    EXPECT_TRUE(answers[3][0].body.isEmpty());
    EXPECT_TRUE(askEndpoints({}, {"/json/version"}, 500, 1000).empty());
}

// A slot is spliced where it stands, in text order; what cannot be read stays a slot.
TEST(FrameSlots, FillsEachSlotInPlace)
{
    struct Case {
        const char* name;
        QString json;
        std::function<QString(int)> read;
        QString expected;
        bool hadSlots;
    };
    const auto frame = [](int k) { return QStringLiteral("{\"f\":%1}").arg(k); };
    const Case cases[] = {
        {"no slot", R"({"frames":[{"error":"x"}]})", frame, R"({"frames":[{"error":"x"}]})", false},
        {"two slots and an error between", R"({"frames":[{"slot":0,"error":"a"},{"error":"b"},{"slot":1,"error":"c"}]})",
         frame, R"({"frames":[{"f":0},{"error":"b"},{"f":1}]})", true},
        {"an error text with quotes and braces",
         R"({"frames":[{"slot":0,"error":"Blocked \"x\" {slot} from \"y\""}],"title":"t"})", frame,
         R"({"frames":[{"f":0}],"title":"t"})", true},
        {"a slot whose read gives nothing",
         R"({"frames":[{"slot":0,"error":"a"},{"slot":1,"error":"b"}]})",
         [](int k) { return k == 0 ? QString() : QStringLiteral("{}"); },
         R"({"frames":[{"slot":0,"error":"a"},{}]})", true},
        {"a slot whose read fails",
         R"({"frames":[{"slot":0,"error":"a"}]})", [](int) -> QString { throw Error(QStringLiteral("gone")); },
         R"({"frames":[{"slot":0,"error":"a"}]})", true},
        {"page text that looks like a slot", R"({"nodes":["{\"slot\":0,\"error\":\"x\"}"]})", frame,
         R"({"nodes":["{\"slot\":0,\"error\":\"x\"}"]})", false},
    };
    for (const Case& c : cases) {
        bool had = !c.hadSlots;
        EXPECT_EQ(fillFrameSlots(c.json, c.read, &had), c.expected) << c.name;
        EXPECT_EQ(had, c.hadSlots) << c.name;
    }
}

TEST(FrameSlots, OneLazyWaitForThePageAndItsFrames)
{
    LazyWaitBudget budget(60000);
    EXPECT_EQ(budget.next(), 60000);
    const int second = budget.next();
    EXPECT_LE(second, 60000);
    EXPECT_GT(second, 0);
    LazyWaitBudget none(0);
    EXPECT_EQ(none.next(), 0);
    EXPECT_EQ(none.next(), 0);
}

TEST(JoinedBrowserWindowList, WindowsListByListAndEveryEndpointOnce)
{
    PlainBrowserWindowList chromium, firefox, empty;
    chromium.windows = {std::make_shared<PlainBrowserWindow>("C1", "http://c/1"),
                        std::make_shared<PlainBrowserWindow>("C2", "http://c/2")};
    chromium.endpointList = {"127.0.0.1:9222", "127.0.0.1:9333"};
    firefox.windows = {std::make_shared<PlainBrowserWindow>("F1", "http://f/1")};
    firefox.endpointList = {"127.0.0.1:9222", "127.0.0.1:9444"};
    JoinedBrowserWindowList joined({&chromium, &empty, &firefox});
    joined.refresh();
    ASSERT_EQ(joined.count(), 3);
    EXPECT_EQ(joined.item(0)->locationName(), "C1");
    EXPECT_EQ(joined.item(1)->locationName(), "C2");
    EXPECT_EQ(joined.item(2)->locationName(), "F1");
    EXPECT_THROW(joined.item(3), Error);
    EXPECT_THROW(joined.item(-1), Error);
    EXPECT_EQ(joined.endpoints(), QStringList({"127.0.0.1:9222", "127.0.0.1:9333", "127.0.0.1:9444"}));

    JoinedBrowserWindowList nothing({&empty});
    EXPECT_EQ(nothing.count(), 0);
    EXPECT_TRUE(nothing.endpoints().isEmpty());
    EXPECT_THROW(nothing.item(0), Error);
}
