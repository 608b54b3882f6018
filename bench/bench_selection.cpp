// "Select All", "Select Images" and "View selected Thumbnails" (StartView) on a thumbnail page of
// 10,000 cells in the WebEngine view, each with the reading of the page and the writes reaching it.
// Runs under a display (xvfb-run) with the engine's variables of make bench.
#include "bench/BenchSupport.h"
#include "core/ProgramFiles.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "testing/RecordingDialogs.h"
#include "download/DownloadFrame.h"
#include "testing/SilentProgress.h"
#include "harvest/ThumbsFrame.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// The best of three runs of a command, until the page has seen its writes (a read waits for them).
double timeCommand(pxt::TFrameThumbs& thumbs, const std::function<void()>& command)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        command();
        QCoreApplication::processEvents(); // the writes leave for the page
        best = std::min(best, t.nsecsElapsed() / 1e6);
        thumbs.ThumbsDocument(); // settles the page before the next run
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    pxt::setProgramFolderForTests(dir.path());
    pxt::bench::writeThumbPictures(dir.path());
    const QString page = dir.filePath("saved.html");
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly) || file.write(pxt::bench::thumbPage(dir.path())) < 0)
        return 1;
    file.close();

    pxt::RecordingDialogs dialogs;
    pxt::WebEngineViewFactory views(dialogs);
    pxt::Settings settings;
    pxt::SilentProgress progress;
    pxt::TFrameThumbs thumbs(views, settings, progress, dialogs);
    pxt::TFrameDownload download(views, settings, dialogs);
    thumbs.resize(600, 800);
    thumbs.show();
    thumbs.OpenThumbs(page);
    pxt::bench::waitFor([&] { return !thumbs.WebBrowserThumbs->Busy() && thumbs.statusText() == "Download complete"; },
                        120000);

    const double all = timeCommand(thumbs, [&] { thumbs.SelectAll(); });
    const double images = timeCommand(thumbs, [&] { thumbs.SelectImages(); });
    int checked = 0;
    const auto shown = thumbs.ThumbsDocument(); // held: a temporary's list would die before the loop
    for (const pxt::Element* e : shown->all())
        checked += e->tagName() == QLatin1String("INPUT") && e->status() ? 1 : 0;
    const double view = timeCommand(thumbs, [&] { download.StartView(thumbs.ThumbsDocument(), QString()); });

    std::printf("%d cells, %d checked after Select Images\n", pxt::bench::kCells, checked);
    std::printf("Select All %.0f ms, Select Images %.0f ms, StartView %.0f ms (target under 300 ms each)\n", all,
                images, view);
    pxt::setProgramFolderForTests(QString());
    return 0;
}
