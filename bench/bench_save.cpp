// Saving 300 pictures of 200 KB into a folder from a local server that answers each request after
// 50 ms, as a distant server would, with 4 parallel requests: over http and over https, beside curl
// with --parallel --parallel-max 4 fetching the same addresses into a folder. Then the same save again
// into the full folder, where every picture is there already.

#include "bench/Curl.h"
#include "harvest/NetworkPictureSource.h"
#include "harvest/PictureSaver.h"
#include "testing/LocalServer.h"
#include "testing/TestPki.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kPictures = 300;
constexpr int kBytes = 200 * 1024;
constexpr int kDelayMs = 50;
constexpr int kParallel = 4;

// A JPEG's start and random bytes: every picture its own, none compressible.
QByteArray pictureBytes(int i)
{
    QByteArray bytes("\xff\xd8\xff\xe0", 4);
    bytes.resize(kBytes);
    QRandomGenerator random(quint32(i + 1));
    for (qsizetype at = 4; at + 4 <= bytes.size(); at += 4) {
        const quint32 v = random.generate();
        std::memcpy(bytes.data() + at, &v, 4);
    }
    return bytes;
}

QList<pxt::PictureToSave> pictures(const pxt::test::LocalServer& server)
{
    QList<pxt::PictureToSave> list;
    for (int i = 0; i < kPictures; ++i)
        list.append({QUrl(server.url(QStringLiteral("/gallery/pic%1.jpg").arg(i, 4, 10, QLatin1Char('0')))), {}});
    return list;
}

// The saver's time for the pictures into the folder, and its outcome.
double save(const QList<pxt::PictureToSave>& list, const QString& folder, pxt::PictureSaver::Outcome& outcome)
{
    pxt::NetworkPictureSource source(nullptr);
    pxt::PictureSaver saver(source);
    QEventLoop loop;
    saver.onFinished = [&](const pxt::PictureSaver::Outcome& o) {
        outcome = o;
        loop.quit();
    };
    const auto start = std::chrono::steady_clock::now();
    saver.start(list, folder, kParallel);
    if (saver.running())
        loop.exec();
    return pxt::bench::msSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    pxt::test::TestPki pki;
    const pxt::test::TestPki::Trust trust(pki);
    QList<QByteArray> bodies;
    for (int i = 0; i < kPictures; ++i)
        bodies << pictureBytes(i);
    const auto play = [&](int, const QByteArray& request) {
        const QByteArray path = pxt::test::requestPath(request);
        const int i = path.mid(path.lastIndexOf("pic") + 3, 4).toInt();
        const QByteArray& body = bodies.at(qBound(0, i, kPictures - 1));
        return pxt::test::Script {pxt::test::pause(kDelayMs),
                                  pxt::test::send("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: "
                                                  + QByteArray::number(body.size()) + "\r\n\r\n" + body)};
    };
    pxt::test::LocalServer plain(play);
    pxt::test::LocalServer secure(play, pki.server({QStringLiteral("127.0.0.1")}));

    bool allOk = true;
    std::printf("%d pictures of %d bytes, each answered after %d ms, %d at a time\n", kPictures, kBytes, kDelayMs,
                kParallel);
    for (const pxt::test::LocalServer* server : {&plain, &secure}) {
        const char* scheme = server->tls() ? "https" : "http";
        const QList<pxt::PictureToSave> list = pictures(*server);
        QStringList urls;
        for (const pxt::PictureToSave& p : list)
            urls << p.address.toString();
        QTemporaryDir saved;
        QTemporaryDir fetched;
        pxt::PictureSaver::Outcome first;
        pxt::PictureSaver::Outcome again;
        const double saveMs = save(list, saved.path(), first);
        const double againMs = save(list, saved.path(), again);
        bool curlOk = false;
        const double curl = pxt::bench::curlMs(urls, QStringLiteral("--parallel --parallel-max %1").arg(kParallel),
                                               server->tls() ? pki.caFile() : QString(), curlOk, fetched.path());
        std::printf("%-5s save:                   %8.1f ms (%d saved, %lld failed)\n", scheme, saveMs, first.saved,
                    qlonglong(first.failures.size()));
        std::printf("%-5s save again (all there): %8.1f ms (%d already there)\n", scheme, againMs, again.alreadyThere);
        std::printf("%-5s curl into a folder:     %8.1f ms%s\n", scheme, curl, curlOk ? "" : " [curl failed]");
        std::printf("%-5s save / curl: %.2f (target at most 1.3)\n", scheme, saveMs / curl);
        allOk = allOk && curlOk && first.saved == kPictures && again.alreadyThere == kPictures;
    }
    return allOk ? 0 : 1;
}
