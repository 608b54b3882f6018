#pragma once

// What the grab benchmarks share: a gallery of 10,000 thumbnails served from a folder, the program
// folder, the wait for the browser to show the gallery, and the grab of a window's page into
// thumbs.html, timed as the user waits for it.

#include "app/ProgressWindow.h"
#include "bench/BenchSupport.h"
#include "browser/BrowserWindows.h"
#include "core/ProgramFiles.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "panes/ThumbnailsPane.h"
#include "settings/Settings.h"
#include "testing/RecordingDialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <memory>

#include <algorithm>
#include <vector>

namespace pxt::bench {

inline constexpr int kGalleryThumbs = 10000;

// The gallery page: kGalleryThumbs links, each around a thumbnail of the 50 the folder holds.
inline QByteArray galleryPage()
{
    QByteArray html = "<html><head><title>Bench Gallery</title></head><body>\n";
    for (int i = 0; i < kGalleryThumbs; ++i) {
        html += "<a href=\"full/p" + QByteArray::number(i) + ".jpg\"><img src=\"t" + QByteArray::number(i % 50)
            + ".png\" width=120 height=90></a>\n";
        if (i % 10 == 9)
            html += "<br>\n";
    }
    return html + "</body></html>\n";
}

// The gallery's folder: gallery.html and its thumbnails t0.png to t49.png.
inline bool writeGallerySite(const QString& folder)
{
    writeThumbPictures(folder);
    for (int i = 0; i < kPictures; ++i)
        QFile::rename(QDir(folder).filePath(QStringLiteral("thumb%1.png").arg(i)),
                      QDir(folder).filePath(QStringLiteral("t%1.png").arg(i)));
    QFile f(QDir(folder).filePath(QStringLiteral("gallery.html")));
    return f.open(QIODevice::WriteOnly) && f.write(galleryPage()) >= 0;
}

// The program's files go to the folder, which holds the blank page as the program's folder does.
inline void useProgramFolder(const QString& folder, const QString& sourceDir)
{
    setProgramFolderForTests(folder);
    QFile::copy(sourceDir + QStringLiteral("/resources/clear.html"), QDir(folder).filePath(QStringLiteral("clear.html")));
}

// The window showing url once its whole gallery can be read; null after a minute without it.
inline std::shared_ptr<BrowserWindow> galleryWindow(BrowserWindowList& windows, const QString& url)
{
    std::shared_ptr<BrowserWindow> window;
    waitFor([&] {
        windows.refresh();
        window = nullptr;
        for (int i = 0; i < windows.count(); ++i)
            if (windows.item(i)->locationUrl() == url)
                window = windows.item(i);
        try {
            return window && window->document()->links().size() == size_t(kGalleryThumbs);
        } catch (const std::exception&) {
            return false;
        }
    }, 60000);
    return window;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct GrabTimes {
    std::vector<double> reads; // the pane's stop, the blank page and the window's document read
    std::vector<double> grabs; // that and the harvest, up to thumbs.html written
    bool written = true;       // every run wrote thumbs.html into the program folder
};

// Grabs the window's page runs times in a thumbnails pane of its own, each run waiting for the page
// and its probe to settle before the next.
inline GrabTimes timeGrabs(BrowserWindow& window, const QString& programFolder, int runs = 3)
{
    RecordingDialogs dialogs;
    WebEngineViewFactory views(dialogs);
    Settings settings;
    ProgressWindow progress;
    ThumbnailsPane thumbs(views, settings, progress, dialogs);
    thumbs.resize(445, 600);
    thumbs.show();
    GrabTimes times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        thumbs.stop();
        thumbs.showBlank();
        const auto doc = window.document();
        times.reads.push_back(t.nsecsElapsed() / 1e6);
        thumbs.grabDocument(doc, false);
        times.grabs.push_back(t.nsecsElapsed() / 1e6);
        times.written = times.written && QFile::exists(QDir(programFolder).filePath(QStringLiteral("thumbs.html")));
        waitFor([&] { return thumbs.statusText() == "Ready"; }, 30000);
    }
    return times;
}

} // namespace pxt::bench
