// The grab of a 10,000-thumbnail gallery from a running headless Firefox over WebDriver BiDi: the
// picker's fill (one session: the tabs and their titles), the window's document read (a session of its
// own, the serializer in a sandbox), and the whole grab from the confirmed pick to "thumbs.html"
// written, as bench_grab measures it for Chromium.
#include "app/ProgressWindow.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "bench/GrabTiming.h"
#include "browser/bidi/BidiWindows.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "core/ProgramFiles.h"
#include "dom/Document.h"
#include "panes/ThumbnailsPane.h"
#include "settings/Settings.h"
#include "testing/Firefox.h"
#include "testing/RecordingDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kThumbs = pxt::bench::kGalleryThumbs;

} // namespace

int main(int argc, char** argv)
{
    pxt::WebEngineBrowserView::drawInSoftware(); // as the program does
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir site, profile, program, none;
    if (!pxt::bench::writeGallerySite(site.path()))
        return 1;
    pxt::bench::useProgramFolder(program.path(), QStringLiteral(PXT_SOURCE_DIR));

    pxt::test::StaticServer server(site.path());
    const QString url = server.url(QStringLiteral("gallery.html"));
    pxt::test::GroupProcess firefox;
    quint16 port = 0;
    if (!pxt::test::startHeadlessFirefox(firefox, profile.filePath("profile"), url, port)) {
        std::fprintf(stderr, "Firefox did not start\n");
        return 1;
    }
    pxt::BrowserEndpointSources sources;
    sources.profileRoot = none.filePath("none");
    sources.fixedEndpoints = {QStringLiteral("127.0.0.1:%1").arg(port)};
    sources.settingsFile = none.filePath("none.ini");
    pxt::BidiWindowList windows(sources);
    const std::shared_ptr<pxt::BrowserWindow> window = pxt::bench::galleryWindow(windows, url);
    if (!window) {
        std::fprintf(stderr, "the gallery did not come up in Firefox\n");
        return 1;
    }

    std::vector<double> fills;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        windows.refresh();
        fills.push_back(t.nsecsElapsed() / 1e6);
    }

    const pxt::bench::GrabTimes grabs = pxt::bench::timeGrabs(*window, program.path());
    if (!grabs.written) {
        std::fprintf(stderr, "thumbs.html was not written\n");
        return 1;
    }
    std::printf("picker fill from Firefox (session, tabs, titles, session end): median %.0f ms (endpoint time-out %d ms)\n",
                pxt::bench::median(fills), pxt::BidiWindowList::kAnswerTimeoutMs);
    std::printf("grab of %d thumbnails from Firefox to thumbs.html: median %.0f ms\n", kThumbs, pxt::bench::median(grabs.grabs));
    std::printf("of which the stop, the blank page and the window's document read over BiDi: median %.0f ms\n",
                pxt::bench::median(grabs.reads));
    pxt::setProgramFolderForTests(QString());
    return 0;
}
