// Reading the live document of a thumbnail page of 10,000 cells from a WebEngine view: the time of
// document() (the serializer in the page, the JSON hand-over and the model built from it).
// Runs under a display (xvfb-run) with the engine's variables of make bench.

#include "dom/Document.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "testing/RecordingDialogs.h"
#include "bench/BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using pxt::bench::kCells;
using pxt::bench::thumbPage;
using pxt::bench::waitFor;

int main(int argc, char** argv)
{
    pxt::WebEngineBrowserView::drawInSoftware(); // as the program does
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    QTemporaryDir dir;
    pxt::bench::writeThumbPictures(dir.path());
    const QString path = dir.filePath(QStringLiteral("thumbs.html"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(thumbPage(dir.path())) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    file.close();

    pxt::RecordingDialogs dialogs;
    pxt::WebEngineBrowserView view(dialogs);
    view.widget()->resize(1000, 800);
    view.widget()->show();
    bool loaded = false;
    QObject::connect(&view, &pxt::BrowserView::documentComplete, [&] { loaded = true; });
    QElapsedTimer loadTime;
    loadTime.start();
    view.navigate(path);
    waitFor([&] { return loaded; }, 120000);
    if (!loaded) {
        std::fprintf(stderr, "the page did not load\n");
        return 1;
    }
    std::printf("thumbnail page: %d cells, %lld bytes, loaded in %lld ms\n", kCells,
                static_cast<long long>(QFileInfo(path).size()), static_cast<long long>(loadTime.elapsed()));

    // The serializer's answer alone.
    QString json;
    bool answered = false;
    QElapsedTimer scriptTime;
    scriptTime.start();
    view.page()->runJavaScript(pxt::serializerScript(), QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        json = v.toString();
        answered = true;
    });
    waitFor([&] { return answered; }, 30000);
    const qint64 scriptMs = scriptTime.elapsed();
    std::printf("serializer JSON: %lld characters (%lld bytes UTF-8), script and hand-over %lld ms\n",
                static_cast<long long>(json.size()), static_cast<long long>(json.toUtf8().size()),
                static_cast<long long>(scriptMs));

    // Where the time goes: the serializer inside the page, the hand-over of a string of that size,
    // and the model built from the JSON.
    auto evaluate = [&](const QString& script) {
        QVariant value;
        bool done = false;
        view.page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
            value = v;
            done = true;
        });
        waitFor([&] { return done; }, 30000);
        return value;
    };
    const double inPageMs = evaluate(QStringLiteral("(() => { const t = performance.now(); const s = ") +
                                     pxt::serializerScript().trimmed().chopped(
                                         pxt::serializerScript().trimmed().endsWith(';') ? 1 : 0) +
                                     QStringLiteral("; return performance.now() - t; })()"))
                                .toDouble();
    QElapsedTimer handOver;
    handOver.start();
    const qsizetype handedOver =
        evaluate(QStringLiteral("'x'.repeat(%1)").arg(json.size())).toString().size();
    const qint64 handOverMs = handOver.elapsed();
    QElapsedTimer build;
    build.start();
    const std::size_t built = pxt::Document::fromJson(json.toUtf8())->all().size();
    const qint64 buildMs = build.elapsed();
    std::printf("of which: serializer in the page %.0f ms; hand-over of %lld characters %lld ms; "
                "fromJson (%zu elements) %lld ms\n",
                inPageMs, static_cast<long long>(handedOver), static_cast<long long>(handOverMs), built,
                static_cast<long long>(buildMs));

    std::vector<qint64> times;
    std::size_t elements = 0, links = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        try {
            const std::shared_ptr<pxt::Document> doc = view.document();
            times.push_back(t.elapsed());
            elements = doc->all().size();
            links = doc->links().size();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "document() failed: %s\n", e.what());
            return 1;
        }
    }
    std::printf("document(): %zu elements, %zu links\n", elements, links);
    std::printf("document() per run (ms):");
    for (qint64 ms : times)
        std::printf(" %lld", static_cast<long long>(ms));
    std::sort(times.begin(), times.end());
    std::printf("\ndocument() median %lld ms, best %lld ms (target under 300 ms)\n",
                static_cast<long long>(times[times.size() / 2]), static_cast<long long>(times.front()));
    return 0;
}
