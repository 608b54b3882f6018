#include "http/HttpClient.h"

#include "core/Error.h"
#include "core/Pump.h"
#include "testing/LocalServer.h"
#include "tests/http/GetError.h"
#include "testing/TestPki.h"

#include <gtest/gtest.h>

#include <QSslError>

#include <memory>

using namespace pxt;
using namespace pxt::test;

namespace {

// One authority for the whole suite, trusted through SSL_CERT_FILE as a user's own CA would be.
class HttpsClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pki = std::make_unique<TestPki>();
        trust = std::make_unique<TestPki::Trust>(*pki);
        good = pki->server({QStringLiteral("localhost"), QStringLiteral("127.0.0.1")});
    }
    static void TearDownTestSuite()
    {
        trust.reset();
        pki.reset();
    }
    void TearDown() override { setPumpHook({}); }

    static inline std::unique_ptr<TestPki> pki;
    static inline std::unique_ptr<TestPki::Trust> trust;
    static inline TlsIdentity good;
};

TEST_F(HttpsClientTest, RequestAndEventsAreThoseOfHttp)
{
    LocalServer server(
        [](int, const QByteArray& request) {
            if (requestPath(request) == "/a.jpg")
                return Script {send("HTTP/1.0 302 Found\r\nLocation: /b/c.jpg\r\n\r\n")};
            return Script {send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n"), pause(20), send("12345")};
        },
        good);
    for (const QString& host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
        SCOPED_TRACE(host.toStdString());
        const size_t before = server.requests().size();
        HttpClient client;
        QString headerAtFirstPacket;
        int packets = 0;
        int successes = 0;
        client.onPacketReceived = [&] {
            if (packets++ == 0)
                headerAtFirstPacket = client.headerText();
        };
        client.onSuccess = [&] { ++successes; };
        EXPECT_EQ(getError(client, server.url(QStringLiteral("/a.jpg"), host)), QString());
        ASSERT_EQ(server.requests().size(), before + 2);
        const QByteArray hostLine = "Host: " + host.toLatin1() + ":" + QByteArray::number(server.port());
        EXPECT_EQ(server.requests()[before], "GET /a.jpg HTTP/1.0\r\n" + hostLine + "\r\n"
                                             "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                                             "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
                                             "Content-type: application/x-www-form-urlencoded\r\n"
                                             "\r\n");
        // The relative Location stays on the secure server.
        EXPECT_TRUE(server.requests()[before + 1].startsWith("GET /b/c.jpg HTTP/1.0\r\n" + hostLine + "\r\n"));
        EXPECT_EQ(headerAtFirstPacket, QStringLiteral("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n"));
        EXPECT_EQ(client.body(), "12345");
        EXPECT_EQ(successes, 1);
        EXPECT_FALSE(client.isConnected());
    }
}

TEST_F(HttpsClientTest, RefusedCertificatesNameTheHostAndTheReason)
{
    struct Case {
        const char* name;
        TlsIdentity identity;
        QString reason; // empty: any
    };
    const std::vector<Case> cases = {
        {"another name", pki->server({QStringLiteral("other.test")}), QSslError(QSslError::HostNameMismatch).errorString()},
        {"expired", pki->server({QStringLiteral("127.0.0.1")}, TestPki::Flaw::Expired),
         QSslError(QSslError::CertificateExpired).errorString()},
        {"unknown authority", pki->server({QStringLiteral("127.0.0.1")}, TestPki::Flaw::UnknownAuthority), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer server(Script {send(okResponse("secret"))}, c.identity);
        HttpClient client;
        int successes = 0;
        client.onSuccess = [&] { ++successes; };
        const QString error = getError(client, server.url(QStringLiteral("/a.jpg")));
        const QString prefix = QStringLiteral("Zertifikat von 127.0.0.1 abgelehnt: ");
        if (c.reason.isEmpty())
            EXPECT_TRUE(error.startsWith(prefix) && error.size() > prefix.size()) << error.toStdString();
        else
            EXPECT_EQ(error.toStdString(), (prefix + c.reason).toStdString());
        EXPECT_TRUE(server.requests().empty());
        EXPECT_EQ(successes, 0);
        EXPECT_FALSE(client.isConnected());
    }
}

TEST_F(HttpsClientTest, AbortAndTimeOutDuringTheHandshake)
{
    // A server that takes the connection but never answers the handshake.
    LocalServer silent(Script {hold()});
    const QString url = QStringLiteral("https://127.0.0.1:%1/a.jpg").arg(silent.port());
    {
        HttpClient client;
        int turns = 0;
        setPumpHook([&] {
            if (++turns == 50)
                client.abort();
        });
        EXPECT_EQ(getError(client, url).toStdString(), "Verbindung abgebrochen");
        setPumpHook({});
        EXPECT_FALSE(client.isConnected());
    }
    {
        HttpClient client(300);
        EXPECT_EQ(getError(client, url).toStdString(), "10060:Connection timed out");
    }
}

TEST_F(HttpsClientTest, SilentServerTimesOut)
{
    LocalServer server(Script {send("HTTP/1.0 200 OK\r\n"), hold()}, good);
    HttpClient client(500);
    EXPECT_EQ(getError(client, server.url(QStringLiteral("/a.jpg"))).toStdString(), "10060:Connection timed out");
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(client.isConnected());
}

} // namespace
