// Fetches 1,000 picture addresses from a local server the way the size probe does (Get; on the first
// packet whose header holds "LENGTH": Disconnect), then the same addresses with curl in one process,
// and prints both times and their ratio.

#include "bench/Curl.h"
#include "http/HttpClient.h"
#include "testing/LocalServer.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kPictures = 1000;
constexpr int kBodySize = 4096;
constexpr int kRounds = 3;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Every request gets a picture of kBodySize bytes with its Content-Length, then the connection closes.
    pxt::test::LocalServer server(pxt::test::Script{pxt::test::send(
        "HTTP/1.0 200 OK\r\nServer: bench\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(kBodySize)
        + "\r\n\r\n" + QByteArray(kBodySize, 'j'))});
    QStringList urls;
    for (int i = 0; i < kPictures; ++i)
        urls << QStringLiteral("http://127.0.0.1:%1/gallery/pic%2.jpg").arg(server.port()).arg(i, 4, 10, QLatin1Char('0'));

    double clientMs = 1e300;
    int lengths = 0;
    for (int round = 0; round < kRounds; ++round) {
        pxt::HttpClient client;
        lengths = 0;
        client.onPacketReceived = [&] {
            if (client.headerText().toUpper().contains(QLatin1String("LENGTH"))) {
                ++lengths;
                client.disconnect();
            }
        };
        const auto start = std::chrono::steady_clock::now();
        for (const QString& url : urls)
            client.get(url);
        clientMs = std::min(clientMs, pxt::bench::msSince(start));
    }

    double curlMs = 1e300;
    bool curlOk = true;
    for (int round = 0; round < kRounds; ++round) {
        bool ok = false;
        curlMs = std::min(curlMs, pxt::bench::curlMs(urls, QString(), QString(), ok));
        curlOk = curlOk && ok;
    }

    std::printf("requests:       %d (body %d bytes, best of %d rounds)\n", kPictures, kBodySize, kRounds);
    std::printf("HttpClient:     %.1f ms (%.3f ms per request, %d lengths seen)\n", clientMs, clientMs / kPictures,
                lengths);
    std::printf("curl --http1.0: %.1f ms (%.3f ms per request)%s\n", curlMs, curlMs / kPictures,
                curlOk ? "" : " [curl reported a failure]");
    std::printf("ratio:          %.2f (target at most 1.5)\n", clientMs / curlMs);
    return lengths == kPictures && curlOk ? 0 : 1;
}
