// The grab of a 10,000-thumbnail gallery from a running headless Chromium: from the confirmed pick
// (the pane stopped and blanked, the window's document read over DevTools, the harvest under the
// progress window) to "thumbs.html" written. Beside it, the time the page itself needs for a plain
// walk over document.links reading each link's address and image size.
#include "app/ProgressWindow.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "bench/GrabTiming.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsWindows.h"
#include "dom/Document.h"
#include "core/ProgramFiles.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "testing/Chromium.h"
#include "testing/RecordingDialogs.h"
#include "panes/ThumbnailsPane.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <signal.h>
#include <unistd.h>

namespace {

constexpr int kThumbs = pxt::bench::kGalleryThumbs;

const char* kPlainWalk = "(() => { const t = performance.now(); let n = 0;"
                         " for (const a of document.links) { const img = a.getElementsByTagName('img')[0];"
                         " n += a.href.length + (img ? img.width + img.height : 0); }"
                         " return String(performance.now() - t) + ' ' + n; })()";

} // namespace

int main(int argc, char** argv)
{
    pxt::WebEngineBrowserView::drawInSoftware(); // as the program does
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir site, profile, program;
    if (!pxt::bench::writeGallerySite(site.path()))
        return 1;
    pxt::bench::useProgramFolder(program.path(), QStringLiteral(PXT_SOURCE_DIR));

    pxt::test::StaticServer server(site.path());
    const QString url = server.url(QStringLiteral("gallery.html"));

    pxt::test::GroupProcess chromium;
    if (!pxt::test::startHeadlessChromium(chromium, profile.filePath("chromium"), url)) {
        std::fprintf(stderr, "Chromium did not start\n");
        return 1;
    }
    pxt::BrowserEndpointSources sources;
    sources.profileRoot = profile.path();
    sources.fixedEndpoints = {};
    pxt::DevToolsWindowList windows(sources);
    const std::shared_ptr<pxt::BrowserWindow> window = pxt::bench::galleryWindow(windows, url);
    if (!window) {
        std::fprintf(stderr, "the gallery did not come up in Chromium\n");
        return 1;
    }

    const pxt::bench::GrabTimes grabs = pxt::bench::timeGrabs(*window, program.path());
    if (!grabs.written) {
        std::fprintf(stderr, "thumbs.html was not written\n");
        return 1;
    }
    std::vector<double> ownReads;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        window->document();
        ownReads.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ownReads.begin(), ownReads.end());
    // The read as the program did it before it used the browser's own socket and an isolated world:
    // the serializer in the page's own world, keeping its handles there, without the lazy-image pass.
    std::vector<double> pageWorldReads;
    {
        QFile port(profile.filePath("chromium/DevToolsActivePort"));
        port.open(QIODevice::ReadOnly);
        const QString portNumber = QString::fromLatin1(port.readLine().trimmed());
        const QString browserSocket = QStringLiteral("ws://127.0.0.1:") + portNumber + QString::fromLatin1(port.readLine().trimmed());
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer t;
            t.start();
            pxt::DevToolsConnection c(30000);
            c.open(browserSocket);
            QString target;
            for (const QJsonValue& v : c.call(QStringLiteral("Target.getTargets")).value(QStringLiteral("targetInfos")).toArray())
                if (v[QStringLiteral("url")].toString() == url)
                    target = v[QStringLiteral("targetId")].toString();
            const QString session = c.call(QStringLiteral("Target.attachToTarget"),
                                           {{QStringLiteral("targetId"), target}, {QStringLiteral("flatten"), true}})
                                        .value(QStringLiteral("sessionId")).toString();
            const QJsonObject r = c.call(QStringLiteral("Runtime.evaluate"),
                                         {{QStringLiteral("expression"), pxt::serializerScript()},
                                          {QStringLiteral("returnByValue"), true}},
                                         session);
            const auto doc = pxt::Document::fromJson(r[QStringLiteral("result")][QStringLiteral("value")].toString().toUtf8());
            if (doc->links().size() != size_t(kThumbs)) {
                std::fprintf(stderr, "the page-world read gave %zu links\n", doc->links().size());
                return 1;
            }
            pageWorldReads.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(pageWorldReads.begin(), pageWorldReads.end());
    }
    const QString walk = static_cast<pxt::DevToolsWindow&>(*window).evaluateString(QString::fromLatin1(kPlainWalk));
    std::printf("grab of %d thumbnails from Chromium to thumbs.html: median %.0f ms, best %.0f ms (target under 1500 ms)\n",
                kThumbs, pxt::bench::median(grabs.grabs), *std::min_element(grabs.grabs.begin(), grabs.grabs.end()));
    std::printf("of which the stop, the blank page and the window's document read over DevTools: median %.0f ms\n",
                pxt::bench::median(grabs.reads));
    std::printf("the window's document read alone: median %.0f ms\n", ownReads[1]);
    std::printf("the same read with the serializer in the page's own world, no lazy-image pass: median %.0f ms\n",
                pageWorldReads[1]);
    const double walkMs = walk.section(' ', 0, 0).toDouble();
    std::printf("the page's own walk over document.links (address and image size): %.1f ms\n", walkMs);
    std::printf("the grab against the page's own walk: ratio %.1f (target within 2)\n",
                walkMs > 0 ? pxt::bench::median(grabs.grabs) / walkMs : 0.0);
    pxt::setProgramFolderForTests(QString());
    return 0;
}
