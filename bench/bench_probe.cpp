// The size probe over a gallery of 300 picture links on a local server that answers each request after
// 50 ms, as a distant server would: over http and over https, with 1 and with 4 parallel requests,
// beside curl fetching the same addresses sequentially and with --parallel --parallel-max 4. Each
// answer is a JPEG picture whose dimensions the probe reads from its first bytes, as the program's does.

#include "bench/Curl.h"
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "harvest/SizeProbe.h"
#include "http/HttpClient.h"
#include "settings/Settings.h"
#include "testing/LocalServer.h"
#include "testing/TestPki.h"
#include "ui/PictureDimensions.h"

#include <QBuffer>
#include <QImage>

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kPictures = 300;
constexpr int kDelayMs = 50;

// A photograph-like JPEG of 800 x 600: noise compresses little, as photographs do.
QByteArray picture()
{
    QImage image(800, 600, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

QStringList addresses(const pxt::test::LocalServer& server)
{
    QStringList urls;
    for (int i = 0; i < kPictures; ++i)
        urls << server.url(QStringLiteral("/gallery/pic%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
    return urls;
}

// The probe's time for one run over the gallery; sizes: how many divs got one.
double probe(const QStringList& urls, int parallel, int& sizes)
{
    QString html;
    for (const QString& url : urls)
        html += QStringLiteral("<div id=\"%1\"><input type=checkbox name=x value=\"%1\">x</div>").arg(url);
    const auto doc = pxt::htmlDocument(html, QStringLiteral("http://gallery.test/"));
    pxt::Settings settings;
    pxt::SnapshotValues v;
    v.parallelRequests = parallel;
    settings.takeSnapshot(v);
    pxt::SizeProbe probe(settings);
    probe.setDimensionReader(pxt::pictureDimensions);
    QEventLoop loop;
    probe.onFinished = [&] { loop.quit(); };
    const auto start = std::chrono::steady_clock::now();
    probe.start(doc);
    if (probe.walking())
        loop.exec();
    const double ms = pxt::bench::msSince(start);
    sizes = 0;
    for (const pxt::Element* e : doc->all())
        sizes += e->tagName() == QLatin1String("DIV") && e->innerHTML().contains(QLatin1String(" kB, 800 x 600")) ? 1 : 0;
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    pxt::test::TestPki pki;
    const pxt::test::TestPki::Trust trust(pki);
    const QByteArray body = picture();
    const pxt::test::Script script {pxt::test::pause(kDelayMs),
                                    pxt::test::send("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: "
                                                    + QByteArray::number(body.size()) + "\r\n\r\n" + body)};
    pxt::test::LocalServer plain(script);
    pxt::test::LocalServer secure(script, pki.server({QStringLiteral("127.0.0.1")}));

    bool allOk = true;
    std::printf("%d pictures of %lld bytes, each answered after %d ms\n", kPictures, qlonglong(body.size()), kDelayMs);
    for (const pxt::test::LocalServer* server : {&plain, &secure}) {
        const QStringList urls = addresses(*server);
        const char* scheme = server->tls() ? "https" : "http";
        const QString ca = server->tls() ? pki.caFile() : QString();
        int sizes1 = 0;
        int sizes4 = 0;
        const double one = probe(urls, 1, sizes1);
        const double four = probe(urls, 4, sizes4);
        bool seqOk = false;
        bool parOk = false;
        const double curlSeq = pxt::bench::curlMs(urls, QString(), ca, seqOk);
        const double curlPar = pxt::bench::curlMs(urls, QStringLiteral("--parallel --parallel-max 4"), ca, parOk);
        std::printf("%-5s probe, 1 request:   %8.1f ms (%d sizes)\n", scheme, one, sizes1);
        std::printf("%-5s probe, 4 parallel:  %8.1f ms (%d sizes)\n", scheme, four, sizes4);
        std::printf("%-5s curl, sequential:   %8.1f ms%s\n", scheme, curlSeq, seqOk ? "" : " [curl failed]");
        std::printf("%-5s curl, parallel 4:   %8.1f ms%s\n", scheme, curlPar, parOk ? "" : " [curl failed]");
        std::printf("%-5s 4 parallel / curl parallel: %.2f (target at most 1.3)\n", scheme, four / curlPar);
        std::printf("%-5s 1 request / 4 parallel:     %.2f (target at least 3.5)\n", scheme, one / four);
        allOk = allOk && sizes1 == kPictures && sizes4 == kPictures && seqOk && parOk;
    }
    return allOk ? 0 : 1;
}
