// The grab of a 10,000-thumbnail gallery from a running headless Firefox over WebDriver BiDi: the
// picker's fill (one session: the tabs and their titles), the window's document read (a session of its
// own, the serializer in a sandbox), and the whole grab from the confirmed pick to "thumbs.html"
// written, as bench_grab measures it for Chromium.
#include "app/ProgressForm.h"
#include "bench/BenchSupport.h"
#include "browser/bidi/BidiWindows.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "core/ProgramFiles.h"
#include "dom/Document.h"
#include "harvest/ThumbsFrame.h"
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

constexpr int kThumbs = 10000;

QByteArray gallery()
{
    QByteArray html = "<html><head><title>Bench Gallery</title></head><body>\n";
    for (int i = 0; i < kThumbs; ++i) {
        html += "<a href=\"full/p" + QByteArray::number(i) + ".jpg\"><img src=\"t" + QByteArray::number(i % 50)
            + ".png\" width=120 height=90></a>\n";
        if (i % 10 == 9)
            html += "<br>\n";
    }
    return html + "</body></html>\n";
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir site, profile, program, none;
    pxt::bench::writeThumbPictures(site.path());
    for (int i = 0; i < 50; ++i)
        QFile::rename(site.filePath(QStringLiteral("thumb%1.png").arg(i)), site.filePath(QStringLiteral("t%1.png").arg(i)));
    {
        QFile f(site.filePath("gallery.html"));
        if (f.open(QIODevice::WriteOnly))
            f.write(gallery());
    }
    pxt::setProgramFolderForTests(program.path());
    QFile::copy(QStringLiteral(PXT_SOURCE_DIR "/resources/clear.html"), program.filePath("clear.html"));

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
    std::shared_ptr<pxt::BrowserWindow> window;
    pxt::bench::waitFor([&] {
        windows.Refresh();
        window = nullptr;
        for (int i = 0; i < windows.Count(); ++i)
            if (windows.Item(i)->LocationURL() == url)
                window = windows.Item(i);
        try {
            return window && window->document()->links().size() == size_t(kThumbs);
        } catch (const std::exception&) {
            return false;
        }
    }, 60000);
    if (!window) {
        std::fprintf(stderr, "the gallery did not come up in Firefox\n");
        return 1;
    }

    std::vector<double> fills;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        windows.Refresh();
        fills.push_back(t.nsecsElapsed() / 1e6);
    }

    pxt::RecordingDialogs dialogs;
    pxt::WebEngineViewFactory views(dialogs);
    pxt::Settings settings;
    pxt::TFormProgress progress;
    pxt::TFrameThumbs thumbs(views, settings, progress, dialogs);
    thumbs.resize(445, 600);
    thumbs.show();
    std::vector<double> times, reads;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        thumbs.StopThumbs();
        thumbs.ShowBlank();
        const auto doc = window->document();
        reads.push_back(t.nsecsElapsed() / 1e6);
        thumbs.GrabDocument(doc, false);
        times.push_back(t.nsecsElapsed() / 1e6);
        if (!QFile::exists(program.filePath("thumbs.html"))) {
            std::fprintf(stderr, "thumbs.html was not written\n");
            return 1;
        }
        pxt::bench::waitFor([&] { return thumbs.statusText() == "Ready"; }, 30000);
    }
    std::printf("picker fill from Firefox (session, tabs, titles, session end): median %.0f ms (endpoint time-out %d ms)\n",
                median(fills), pxt::BidiWindowList::kAnswerTimeoutMs);
    std::printf("grab of %d thumbnails from Firefox to thumbs.html: median %.0f ms\n", kThumbs, median(times));
    std::printf("of which the stop, the blank page and the window's document read over BiDi: median %.0f ms\n",
                median(reads));
    pxt::setProgramFolderForTests(QString());
    return 0;
}
