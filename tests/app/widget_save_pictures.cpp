// "Save Pictures to Folder...": the folder chooser and its remembered folder, the progress on the
// viewer pane's status line with its Stop, and the box at the end with its "Open Folder".
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "dialogs/BrowserPicker.h"
#include "dialogs/OptionsDialog.h"
#include "dom/Document.h"
#include "http/BrowserSession.h"
#include "panes/ThumbnailsPane.h"
#include "panes/ViewerPane.h"
#include "settings/Settings.h"
#include "testing/HtmlDocument.h"
#include "testing/LocalServer.h"
#include "testing/PlainWindows.h"
#include "testing/RecordingDialogs.h"
#include "testing/TestBrowserView.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <atomic>

using namespace pxt;
using namespace pxt::test;

namespace {

const QByteArray kJpeg = QByteArray("\xff\xd8\xff\xe0", 4);

// slow: the pictures under /slow/ take a minute (once the view has shown them).
Script answer(const QByteArray& request, bool slow)
{
    const QByteArray path = requestPath(request);
    if (path == "/missing.jpg")
        return {send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")};
    if (slow && path.startsWith("/slow/"))
        return {pause(60000), send(okResponse(kJpeg + path, "image/jpeg"))};
    return {send(okResponse(kJpeg + path, "image/jpeg"))};
}

struct App {
    BrowserSession session;
    TempProgramFolder folder;
    RecordingDialogs messages;
    TestBrowserViewFactory views {messages};
    PlainBrowserWindowList windows;
    Settings settings;
    ProgressWindow progress;
    OptionsDialog options {settings, messages};
    BrowserPicker picker {windows, messages};
    std::unique_ptr<MainWindow> main = std::make_unique<MainWindow>(
        MainWindowServices {views, windows, settings, progress, options, picker, messages, false, &session});
    std::atomic<bool> slow {false};
    LocalServer server {[this](int, const QByteArray& request) { return answer(request, slow); }};

    App()
    {
        main->show();
        waitUntil([&] { return !main->thumbnailsPane()->view()->isBusy(); });
    }

    // Grabs a gallery of the pictures (paths on the server), selects all and views them.
    void view(const QString& title, const QStringList& paths)
    {
        QString links;
        for (const QString& p : paths)
            links += QStringLiteral("<a href=\"%1\"><img src=t.jpg width=90 height=90></a>").arg(server.url(p));
        const QString page = server.url(QStringLiteral("/gallery.html"));
        windows.windows = {std::make_shared<PlainBrowserWindow>(title, page,
            htmlDocument(QStringLiteral("<title>%1</title>").arg(title) + links, page))};
        QTimer::singleShot(0, &picker, [this] { picker.okButton()->click(); });
        main->onGrab();
        ThumbnailsPane* thumbs = main->thumbnailsPane();
        ASSERT_TRUE(waitUntil([&] { return !thumbs->view()->isBusy() && thumbs->view()->locationUrl().endsWith("thumbs.html"); }));
        thumbs->stop(); // the sizes are not needed here
        thumbs->selectAll();
        main->onView();
        ASSERT_TRUE(waitUntil([&] { return main->viewerPane()->statusText().startsWith("Ready: "); }));
    }

    bool saved()
    {
        return waitUntil([&] { return !messages.informations.isEmpty(); }, 30000);
    }
};

} // namespace

TEST(SavePictures, ChooserSavesAndTellsTheOutcome)
{
    App a;
    QAction* command = a.main->menuItem(QStringLiteral("savePicturesAction"));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    EXPECT_EQ(a.main->savePicturesButton()->toolTip(), "Save Pictures to Folder");

    // Nothing viewed yet.
    command->trigger();
    EXPECT_EQ(a.messages.informations, QStringList({"No pictures to save: view selected thumbnails first."}));
    EXPECT_EQ(a.messages.folderCalls, 0);
    a.messages.informations.clear();

    a.view(QStringLiteral("Cats: 1/2"), {"/a/one.jpg", "/b/one.jpg", "/missing.jpg"});

    // At first the chooser opens in Pictures/Pixtrawl/<the gallery's title>, made for it; a cancel
    // takes away what was made.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString first = pictures + QStringLiteral("/Pixtrawl/Cats: 1_2");
    const bool picturesThere = QFileInfo::exists(pictures);
    a.messages.folder.clear();
    a.main->savePicturesButton()->click();
    EXPECT_EQ(a.messages.offeredFolder, first);
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_EQ(QFileInfo::exists(pictures), picturesThere);
    EXPECT_TRUE(a.messages.informations.isEmpty());

    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/saved");
    a.messages.folder = target;
    a.messages.chosenAction = 0; // "Open Folder"
    command->trigger();
    EXPECT_TRUE(a.main->viewerPane()->isSaving());
    EXPECT_TRUE(a.main->viewerPane()->statusText().contains(QRegularExpression("^Saving [123] of 3: (one|missing).jpg$")))
        << a.main->viewerPane()->statusText().toStdString();
    ASSERT_TRUE(a.saved());
    EXPECT_EQ(a.messages.offeredActions, QStringList({"Open Folder"}));
    EXPECT_EQ(a.messages.informations.constLast(),
              QStringLiteral("2 pictures saved in %1.\n\nNot saved:\nmissing.jpg: 404 Not Found").arg(target));
    EXPECT_EQ(a.messages.openedUrls, QList<QUrl>({QUrl::fromLocalFile(target)}));
    EXPECT_EQ(a.main->viewerPane()->statusText(), QStringLiteral("2 pictures saved in %1.").arg(target));
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList({"one (2).jpg", "one.jpg"}));

    // The folder is remembered in the settings file: the chooser opens there next time, and the same
    // pictures are there already.
    EXPECT_TRUE(a.folder.read("pxt.ini").contains("[SavePictures]\r\nLastFolder=" + target.toUtf8() + "\r\n"));
    a.messages.chosenAction = -1;
    a.messages.informations.clear();
    a.main->onSavePictures();
    EXPECT_EQ(a.messages.offeredFolder, target);
    ASSERT_TRUE(a.saved());
    EXPECT_TRUE(a.messages.informations.constLast().startsWith(
        QStringLiteral("0 pictures saved in %1.\n2 were already there.").arg(target)));
    EXPECT_EQ(a.messages.openedUrls.size(), 1);
    EXPECT_TRUE(a.messages.errors.isEmpty()) << a.messages.errors.join('\n').toStdString();
}

TEST(SavePictures, StopEndsTheSaveWithoutAPartialFile)
{
    App a;
    a.view(QStringLiteral("Slow"), {"/one.jpg", "/slow/two.jpg", "/slow/three.jpg", "/slow/four.jpg"});
    a.slow = true;
    QTemporaryDir dir;
    a.messages.folder = dir.path();
    a.settings.takeSnapshot([] {
        SnapshotValues v;
        v.parallelRequests = 2;
        return v;
    }());
    a.main->onSavePictures();
    ASSERT_TRUE(waitUntil([&] { return a.main->viewerPane()->saver().outcome().saved == 1; }));
    EXPECT_TRUE(a.main->viewerPane()->statusText().startsWith("Saving 3 of 4: ")) << a.main->viewerPane()->statusText().toStdString();
    a.main->viewerPane()->stopButton()->click();
    EXPECT_FALSE(a.main->viewerPane()->isSaving());
    ASSERT_TRUE(a.saved());
    EXPECT_EQ(a.messages.informations.constLast(),
              QStringLiteral("1 picture saved in %1.\nStopped: 3 not saved.").arg(dir.path()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"one.jpg"}));

    // Closing the program during a save ends it without a box.
    a.messages.informations.clear();
    a.main->onSavePictures();
    EXPECT_TRUE(a.main->viewerPane()->isSaving());
    a.main->close();
    EXPECT_FALSE(a.main->viewerPane()->isSaving());
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(a.messages.informations.isEmpty());
}
