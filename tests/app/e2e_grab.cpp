// The whole road on the real engine: a running Chromium shows a gallery, the grab takes its page into
// the thumbnail page, the probe writes the sizes, Select Images and View selected Thumbnails show the
// pictures, and the view page is saved with its pictures. PXT_SCREENSHOTS=<folder> keeps screenshots.
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "browser/devtools/DevToolsWindows.h"
#include "dom/Document.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "panes/ViewerPane.h"
#include "panes/ThumbnailsPane.h"
#include "dialogs/BrowserPicker.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"
#include "testing/RecordingDialogs.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

void writeImage(const QString& path, int w, int h, Qt::GlobalColor color)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(path));
}

void screenshot(const QString& name)
{
    const QByteArray folder = qgetenv("PXT_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    waitUntil([] { return false; }, 1500); // let the views paint
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(folder) + '/' + name);
}

int count(const QByteArray& text, const QByteArray& what)
{
    int n = 0;
    for (qsizetype at = text.indexOf(what); at >= 0; at = text.indexOf(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(GrabE2E, FromARunningBrowserToTheViewPage)
{
    QTemporaryDir site, other, profiles, saved;
    QDir(site.path()).mkpath("pics");
    writeImage(site.filePath("thumb.png"), 128, 96, Qt::darkCyan);
    writeImage(site.filePath("banner.png"), 468, 60, Qt::red);
    for (const char* p : {"one", "two", "four", "five"})
        writeImage(site.filePath(QStringLiteral("pics/%1.jpg").arg(p)), 640, 480, Qt::darkGreen);
    writeFile(site.filePath("app_frame.html"), readFixture("app_frame.html"));
    writeFile(site.filePath("photo3.html"), "<html><body><img src=\"banner.png\"><img src=\"pics/one.jpg\"></body></html>");
    writeImage(other.filePath("thumb.png"), 128, 96, Qt::blue);
    QDir(other.path()).mkpath("pics");
    writeImage(other.filePath("pics/five.jpg"), 640, 480, Qt::darkBlue);
    writeFile(other.filePath("app_frame.html"), readFixture("app_frame.html"));
    StaticServer server(site.path());
    StaticServer otherServer(other.path());
    ASSERT_NE(server.port(), 0);
    ASSERT_NE(otherServer.port(), 0);
    writeFile(site.filePath("gallery.html"),
              readFixture("app_gallery.html").replace("@CROSS_PORT@", QByteArray::number(otherServer.port())));

    GroupProcess chromium;
    ASSERT_TRUE(startHeadlessChromium(chromium, profiles.filePath("chromium"), server.url("gallery.html")));

    TempProgramFolder folder;
    RecordingDialogs messages;
    WebEngineViewFactory views(messages);
    BrowserEndpointSources sources;
    sources.profileRoot = profiles.path();
    sources.fixedEndpoints = {};
    DevToolsWindowList windows(sources);
    Settings settings;
    ProgressWindow progress;
    OptionsDialog options(settings, messages);
    BrowserPicker picker(windows, messages);
    MainWindow main({views, windows, settings, progress, options, picker, messages, false});
    main.show();
    ThumbnailsPane& thumbs = *main.thumbnailsPane();
    ASSERT_TRUE(waitUntil([&] { return thumbs.statusText() == "Download complete"; }, 30000));

    // Wait until the gallery and its frames have loaded in the running browser.
    ASSERT_TRUE(waitUntil([&] {
        windows.refresh();
        if (windows.count() != 1)
            return false;
        try {
            auto doc = windows.item(0)->document();
            return doc->framesLength() == 2 && doc->frame(0)->links().size() == 1
                && doc->frame(1)->links().size() == 1;
        } catch (const std::exception&) {
            return false;
        }
    }, 30000));

    // The grab: the picker lists the gallery, the user confirms it.
    QString listed;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!picker.isVisible())
            return; // still filling its list
        answer.stop();
        listed = picker.rowCount() == 1 ? QStringLiteral("one row") : QStringLiteral("rows: %1").arg(picker.rowCount());
        picker.okButton()->click();
    });
    answer.start(10);
    main.onGrab();
    EXPECT_EQ(listed, "one row");
    EXPECT_EQ(main.pageHead(), "<HEAD><title>E2E Gallery</title></HEAD>");

    const QByteArray page = folder.read("thumbs.html");
    ASSERT_FALSE(page.isEmpty());
    // Three tables: the page, its same-origin frame and its frame of another origin.
    EXPECT_EQ(count(page, "<table align=center"), 3);
    EXPECT_TRUE(page.contains("<title>Thumbnails from E2E Gallery</title>"));
    const QString base = server.url(QString());
    for (const char* link : {"pics/one.jpg", "photo3.html", "pics/four.jpg", "pics/five.jpg"})
        EXPECT_TRUE(page.contains(("<div id=" + base + link + " >").toLatin1())) << link;
    EXPECT_TRUE(page.contains(("<div id=" + otherServer.url("pics/five.jpg") + " >").toLatin1()));
    // Laid out 40 pixels wide by its style: too small.
    EXPECT_FALSE(page.contains("pics/two.jpg\""));
    EXPECT_TRUE(page.contains("1 Image(s) filtered by Link, 1 Image(s) filtered by Size, 1 Image(s) filtered by Ratio")
                || page.contains("0 Image(s) filtered by Link, 1 Image(s) filtered by Size, 1 Image(s) filtered by Ratio"));
    EXPECT_TRUE(messages.errors.isEmpty()) << messages.errors.join('\n').toStdString();

    // The page shows, the probe writes the sizes of the four pictures.
    ASSERT_TRUE(waitUntil([&] { return thumbs.statusText() == "Ready"; }, 30000)) << thumbs.statusText().toStdString();
    auto shown = thumbs.thumbnailsDocument();
    int sized = 0;
    for (const Element* e : shown->all())
        if (e->tagName() == "DIV" && e->innerHTML().contains(" kB"))
            ++sized;
    EXPECT_EQ(sized, 4);
    screenshot("grab.png");

    // Select Images, then View selected Thumbnails reads the checked boxes of the live page.
    main.menuItem("selectImagesButtonAction")->trigger();
    shown = thumbs.thumbnailsDocument();
    int checked = 0;
    for (const Element* e : shown->all())
        if (e->tagName() == "INPUT" && e->status())
            ++checked;
    EXPECT_EQ(checked, 4);
    main.onView();
    ViewerPane& download = *main.viewerPane();
    ASSERT_TRUE(waitUntil([&] { return download.statusText().startsWith("Ready: file://"); }, 30000))
        << download.statusText().toStdString();
    EXPECT_EQ(download.run().links().size(), 4);
    const QByteArray view = folder.read("download1.html");
    EXPECT_TRUE(view.startsWith("<HEAD><title>E2E Gallery</title></HEAD><img src=" + (base + "pics/one.jpg").toLatin1()));
    screenshot("view.png");

    // The view page saved complete: the page and its pictures.
    auto* viewer = qobject_cast<WebEngineBrowserView*>(download.view());
    ASSERT_TRUE(viewer);
    QSignalSpy done(viewer, &WebEngineBrowserView::saveFinished);
    viewer->saveTo(saved.filePath("pictures.html"), QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
    ASSERT_TRUE(waitUntil([&] { return !done.isEmpty(); }, 30000));
    EXPECT_TRUE(done[0][1].toBool());
    EXPECT_TRUE(QFile::exists(saved.filePath("pictures.html")));
    const QStringList files = QDir(saved.filePath("pictures_files")).entryList(QDir::Files);
    EXPECT_GE(files.size(), 4) << files.join(',').toStdString();
}
