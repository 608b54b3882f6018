#include "app/MainWindow.h"
#include "browser/BrowserLauncher.h"
#include "app/ProgressWindow.h"
#include "core/Pump.h"
#include "testing/PlainWindows.h"
#include "testing/RecordingDialogs.h"
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "testing/TestBrowserView.h"
#include "panes/ViewerPane.h"
#include "panes/ThumbnailsPane.h"
#include "http/BrowserSession.h"
#include "dialogs/BrowserPicker.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

std::shared_ptr<Document> gallery(const QString& title)
{
    return htmlDocument(QStringLiteral("<html><head><title>%1</title><title>second</title></head><body>"
                                       "<a href=\"http://g.test/a.html\"><img src=t.jpg width=90 height=90></a>"
                                       "</body></html>")
                            .arg(title),
                        QStringLiteral("http://g.test/"));
}

struct App {
    BrowserSession session;
    TempProgramFolder folder;
    RecordingDialogs messages;
    TestBrowserViewFactory views{messages};
    PlainBrowserWindowList windows;
    Settings settings;
    ProgressWindow progress;
    OptionsDialog options{settings, messages};
    BrowserPicker picker{windows, messages};
    std::unique_ptr<MainWindow> main = std::make_unique<MainWindow>(
        MainWindowServices{views, windows, settings, progress, options, picker, messages, false, &session});

    // ini: the settings file as the user left it.
    explicit App(const QByteArray& ini = {})
    {
        if (!ini.isEmpty())
            folder.write("pxt.ini", ini);
        main->show();
        waitUntil([&] { return !main->thumbnailsPane()->view()->isBusy(); });
    }
    // Confirms or cancels the picker as soon as it shows, and records the state of its check box.
    void answerPicker(bool confirm, bool* addEnabled = nullptr, bool* addChecked = nullptr)
    {
        QTimer::singleShot(0, &picker, [=, this] {
            if (addEnabled)
                *addEnabled = picker.addToExistingBox()->isEnabled();
            if (addChecked)
                *addChecked = picker.addToExistingBox()->isChecked();
            confirm ? picker.okButton()->click() : picker.cancelButton()->click();
        });
    }
    bool settled()
    {
        return waitUntil([&] {
            return !main->thumbnailsPane()->view()->isBusy() && main->thumbnailsPane()->statusText() == "Ready";
        });
    }
};

} // namespace

TEST(MainWindow, LooksAsDesigned)
{
    App a;
    EXPECT_EQ(a.main->windowTitle(), "Pixtrawl 1.0");
    // The application title names the message boxes only; a display name would end every caption.
    EXPECT_EQ(a.messages.applicationTitle(), "Pixtrawl 1.0");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    // Without a stored placement: three quarters of the screen, centred, the panes halved.
    const QRect area = a.main->screen()->availableGeometry();
    EXPECT_EQ(a.main->size(), area.size() * 3 / 4);
    EXPECT_LE((a.main->frameGeometry().center() - area.center()).manhattanLength(), 4);
    // Halved, as far as the viewer pane's least width allows on a small screen.
    const int panes = a.main->thumbnailsPane()->width() + a.main->viewerPane()->width();
    EXPECT_EQ(a.main->thumbnailsPane()->width(),
              std::min(panes / 2, panes - a.main->viewerPane()->minimumSizeHint().width()));
    EXPECT_EQ(a.main->grabButton()->toolTip(), "Grab Thumbnails");
    EXPECT_EQ(a.main->selectButton()->toolTip(), "Select Thumbnails");
    EXPECT_EQ(a.main->viewButton()->toolTip(), "View selected Thumbnails");
    EXPECT_EQ(a.main->saveButton()->toolTip(), "Save Images");

    QStringList captions;
    for (QMenu* m : a.main->menus()) {
        captions << m->title();
        for (QAction* act : m->actions())
            captions << (act->isSeparator() ? QStringLiteral("-") : act->text());
    }
    EXPECT_EQ(captions, (QStringList{"&File", "&Open Thumbnails...", "-", "S&ave selected Thumbnails...",
                                     "Sa&ve all Thumbnails...", "&Save Images...", "Save &Pictures to Folder...",
                                     "&Save Images + Thumbnails...", "-",
                                     "&Close", "&Thumbnails", "G&rab from Browser...", "S&elect Thumbnails",
                                     "View selected Thumbnails", "-", "&Get Image Size", "-", "Options...", "&?",
                                     "&Help", "-", "&Info..."}));
    EXPECT_FALSE(a.main->menuItem("saveImagesAndThumbnailsAction")->isVisible());

    struct Tag {
        const char* name;
        int tag;
    } tags[] = {{"selectAllAction", 0}, {"selectImagesAction", 2}, {"selectLinksAction", 3}, {"deselectAllAction", 1},
                {"selectAllButtonAction", 0}, {"selectImagesButtonAction", 2}, {"selectLinksButtonAction", 3}, {"deselectAllButtonAction", 1}};
    for (const Tag& t : tags) {
        ASSERT_TRUE(a.main->menuItem(t.name)) << t.name;
        EXPECT_EQ(a.main->menuItem(t.name)->data().toInt(), t.tag) << t.name;
    }
}

// The keys are shown in the menus and work from the window; Select All, F5 and Escape only where the
// pane has the focus.
TEST(MainWindow, Keys)
{
    App a;
    const struct {
        const char* item;
        QKeySequence key;
    } shown[] = {{"grabAction", QKeySequence(Qt::CTRL | Qt::Key_G)}, {"openThumbnailsAction", QKeySequence(Qt::CTRL | Qt::Key_O)},
                 {"saveImagesAction", QKeySequence(Qt::CTRL | Qt::Key_S)},
                 {"savePicturesAction", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, {"closeAction", QKeySequence(Qt::CTRL | Qt::Key_Q)},
                 {"selectAllAction", QKeySequence(Qt::CTRL | Qt::Key_A)}, {"helpAction", QKeySequence(Qt::Key_F1)}};
    for (const auto& s : shown)
        EXPECT_EQ(a.main->menuItem(s.item)->shortcut(), s.key) << s.item;

    a.main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a.main.get()));
    QTest::keyClick(a.main.get(), Qt::Key_G, Qt::ControlModifier); // no browser: the box that says how to start one
    ASSERT_EQ(a.messages.informations.size(), 1);

    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Cats", "http://g.test/", gallery("Cats"))};
    a.answerPicker(true);
    a.main->onGrab();
    ASSERT_TRUE(a.settled());
    ThumbnailsPane* pane = a.main->thumbnailsPane();
    auto checked = [&] {
        int n = 0;
        for (const Element* e : pane->thumbnailsDocument()->all())
            n += e->tagName() == "INPUT" && e->checked();
        return n;
    };
    a.main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a.main.get()));
    auto press = [&](QWidget* focus, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        focus->setFocus();
        ASSERT_TRUE(waitUntil([&] { return focus->hasFocus(); }));
        QTest::keyClick(focus, Qt::Key(key), modifiers);
    };
    press(a.main->viewerPane()->view()->widget(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(checked(), 0) << "Select All outside the thumbnails pane";
    press(pane->view()->widget(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(checked(), 1);

    // F5 reloads the pane, Escape stops it.
    press(pane->view()->widget(), Qt::Key_F5);
    EXPECT_EQ(pane->statusText(), "Loading Thumbnails...");
    press(pane->view()->widget(), Qt::Key_Escape);
    EXPECT_EQ(pane->statusText(), "Ready");

    // F1: the user guide in the viewer pane.
    a.folder.write("guide.html", "<title>Guide</title>");
    press(pane->view()->widget(), Qt::Key_F1);
    EXPECT_TRUE(waitUntil([&] { return a.main->viewerPane()->view()->locationUrl().endsWith("guide.html"); }));
    EXPECT_TRUE(a.messages.errors.isEmpty()) << a.messages.errors.join('\n').toStdString();
}

TEST(MainWindow, ToolBarsCannotBeHidden)
{
    // The tool bars hold every command: their context menu must not offer to hide them.
    App a;
    for (QToolBar* bar : {a.main->menuRow(), a.main->toolBar()}) {
        bool menuShown = false;
        QTimer::singleShot(300, a.main.get(), [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), bar->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(bar, &event);
        waitUntil([] { return false; }, 500);
        EXPECT_FALSE(menuShown) << bar->objectName().toStdString();
        EXPECT_TRUE(bar->isVisible());
    }
}

TEST(MainWindow, NothingSelected)
{
    App a;
    a.main->viewButton()->click();
    EXPECT_EQ(a.messages.informations, QStringList{"Nothing selected!"});
    a.main->onSaveSelectedThumbnails();
    EXPECT_EQ(a.messages.informations.size(), 2);
    EXPECT_FALSE(a.folder.exists("thumbs_sel.html"));
}

TEST(MainWindow, ExitDeletesTheGeneratedPages)
{
    struct Case {
        QStringList present;
        QStringList left;
    } cases[] = {
        {{"download1.html", "download2.html", "download3.html", "thumbs.html", "thumbs_sel.html"}, {}},
        {{"download2.html", "download3.html"}, {"download2.html", "download3.html"}},
    };
    for (const Case& c : cases) {
        App a;
        for (const QString& f : c.present)
            a.folder.write(f, "x");
        a.main->close();
        a.main.reset();
        QStringList left;
        for (const QString& f : c.present)
            if (a.folder.exists(f))
                left << f;
        EXPECT_EQ(left, c.left);
        EXPECT_TRUE(a.folder.exists("clear.html"));
    }
}

TEST(GrabCommand, PicksAWindowAndHarvestsItsPage)
{
    App a;
    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Folder", "file:///home"),
                         std::make_shared<PlainBrowserWindow>("Cats", "http://g.test/", gallery("Cats"))};
    a.answerPicker(true);
    a.main->onGrab();
    EXPECT_EQ(a.main->selectedWindow(), 1);
    EXPECT_EQ(a.main->pageHead(), "<HEAD><title>Cats</title></HEAD>");
    ASSERT_TRUE(a.settled());
    EXPECT_TRUE(a.folder.exists("thumbs.html"));

    // A page without a TITLE keeps the head of the page before.
    a.windows.windows = {std::make_shared<PlainBrowserWindow>(
        "untitled", "http://g.test/2", htmlDocument("<a href=\"http://g.test/b.html\"><img width=90 height=90></a>",
                                                    "http://g.test/2"))};
    a.answerPicker(true);
    a.main->onGrab();
    EXPECT_EQ(a.main->pageHead(), "<HEAD><title>Cats</title></HEAD>");
}

TEST(GrabCommand, TheBrowsersLoginGoesToTheSessionOnlyWhenTheOptionIsOn)
{
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        auto a = std::make_unique<App>(on ? QByteArray() : "[TDlgOptions]\r\nCheckBoxLogin_Checked=False\r\n");
        EXPECT_EQ(a->session.enabled(), on);
        auto window = std::make_shared<PlainBrowserWindow>("Cats", "http://g.test/", gallery("Cats"));
        QNetworkCookie login("sid", "s1");
        login.setDomain(QStringLiteral(".g.test"));
        window->cookieJar = {login};
        a->windows.windows = {window};
        a->answerPicker(true);
        a->main->onGrab();
        ASSERT_TRUE(a->settled());
        const QUrl picture(QStringLiteral("http://g.test/a.html"));
        if (on) {
            EXPECT_EQ(window->askedFor, QList<QUrl>({QUrl(QStringLiteral("http://g.test/"))}));
            EXPECT_EQ(a->session.cookieHeader(picture, a->session.refererSource(picture).page), "sid=s1");
            EXPECT_EQ(a->session.refererFor(picture), "http://g.test/");
            EXPECT_EQ(a->session.refererFor(QUrl(QStringLiteral("http://g.test/t.jpg"))), "http://g.test/");
        } else {
            EXPECT_TRUE(window->askedFor.isEmpty());
            EXPECT_EQ(a->session.cookieHeader(picture, a->session.refererSource(picture).page), "");
            EXPECT_EQ(a->session.refererFor(picture), "");
        }
    }
}

// The window's events run while a grab reads the window and harvests (its progress window lets them
// through): a grab asked for meanwhile is refused, never run inside the first.
TEST(GrabCommand, AGrabDuringAGrabIsRefused)
{
    App a;
    QString links; // enough for the harvest to let events through
    for (int i = 0; i < 5000; ++i)
        links += QStringLiteral("<a href=\"http://g.test/%1.jpg\"><img src=t.jpg width=90 height=90></a>").arg(i);
    a.windows.windows = {std::make_shared<PlainBrowserWindow>(
        "Cats", "http://g.test/", htmlDocument("<title>Cats</title>" + links, "http://g.test/"))};
    int pickerShown = 0;
    bool pickerVisible = false;
    bool triedDuringHarvest = false;
    bool nestedStarted = true;
    bool firstEnded = false;
    QTimer user;
    user.setInterval(1);
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (a.picker.isVisible()) {
            pickerShown += pickerVisible ? 0 : 1;
            pickerVisible = true;
            a.picker.okButton()->click();
            return;
        }
        pickerVisible = false;
        if (!triedDuringHarvest && pickerShown == 1 && !firstEnded) {
            triedDuringHarvest = true;
            a.main->grabButton()->click();
            nestedStarted = a.main->grabFromBrowser();
        }
    });
    user.start();
    EXPECT_TRUE(a.main->grabFromBrowser());
    firstEnded = true;
    user.stop();
    ASSERT_TRUE(triedDuringHarvest) << "no event ran after the pick";
    EXPECT_FALSE(nestedStarted);
    EXPECT_EQ(pickerShown, 1);
    EXPECT_TRUE(a.folder.exists("thumbs.html"));
}

TEST(GrabCommand, PageHeadHoldsTheTitleTextOnly)
{
    // A page script can put a comment into the TITLE element; its markup must not reach the view page.
    const QByteArray json =
        R"({"v":2,"id":0,"url":"http://g.test/","title":"Cats & Dogs","base":"http://g.test/","nodes":[)"
        R"(-1,2,"html",0, 0,2,"head",0, 1,2,"title",1,"lang","en", 2,0,"Ca",)"
        R"( 2,1,"</title><script>alert(1)</script>", 2,0,"ts & Dogs", 0,2,"body",0,)"
        R"( 6,4,"a",1,"href","http://g.test/a.html","http://g.test/a.html",)"
        R"( 7,3,"img",3,"src","t.jpg","width","90","height","90",90,90,"http://g.test/t.jpg"],"frames":[]})";
    App a;
    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Cats", "http://g.test/", Document::fromJson(json))};
    a.answerPicker(true);
    a.main->onGrab();
    EXPECT_EQ(a.main->pageHead(), "<HEAD><title>Cats &amp; Dogs</title></HEAD>");
    ASSERT_TRUE(a.settled());
}

TEST(GrabCommand, NoWindowOrCancelChangesNothing)
{
    App a;
    // No browser: an information box names the endpoints tried and tells how to start one.
    a.windows.endpointList = {"127.0.0.1:9222", "127.0.0.1:9333"};
    EXPECT_FALSE(a.main->grabFromBrowser());
    ASSERT_EQ(a.messages.informations.size(), 1);
    const QString& box = a.messages.informations.first();
    EXPECT_TRUE(box.startsWith("No browser with a debugging port was found.")) << box.toStdString();
    EXPECT_TRUE(box.contains("127.0.0.1:9222, 127.0.0.1:9333")) << box.toStdString();
    EXPECT_TRUE(box.contains("--remote-debugging-port=9222")) << box.toStdString();
    EXPECT_TRUE(box.contains("firefox --remote-debugging-port 9222")) << box.toStdString();
    // Browsers whose windows show only local files: a box of its own, not the one about the port.
    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Home", "file:///home")};
    EXPECT_FALSE(a.main->grabFromBrowser());
    ASSERT_EQ(a.messages.informations.size(), 2);
    EXPECT_EQ(a.messages.informations.last(), "No browser window shows a web page to grab.");
    a.messages.informations.clear();

    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Cats", "http://g.test/", gallery("Cats"))};
    a.answerPicker(false);
    EXPECT_FALSE(a.main->grabFromBrowser());
    EXPECT_EQ(a.main->selectedWindow(), -1);
    EXPECT_TRUE(a.messages.errors.isEmpty());
    EXPECT_TRUE(a.messages.informations.isEmpty()) << "a cancelled pick tells nothing";
}

// The no-browser box and the picker offer to start the browsers found; the start is the picker's.
// One that fails gives its reason and the grab ends.
TEST(GrabCommand, TheNoBrowserBoxOffersToStartABrowser)
{
    App a;
    EXPECT_FALSE(a.main->grabFromBrowser());
    EXPECT_TRUE(a.messages.offeredActions.isEmpty()) << "nothing to start";

    QTemporaryDir dir;
    const QString program = dir.filePath("chromium");
    writeProgram(program, "#!/bin/sh\necho 'no display' >&2\nexit 1\n");
    BrowserLauncher launcher(dir.filePath("profiles"));
    a.picker.setBrowserStarting(&launcher, {{"Chromium", program, "chromium", false}, {"Firefox", program, "firefox", true}});
    EXPECT_EQ(a.picker.findChild<QPushButton*>("startButton1")->text(), "Start Firefox for Pixtrawl");

    a.messages.chosenAction = 0;
    EXPECT_FALSE(a.main->grabFromBrowser());
    EXPECT_EQ(a.messages.offeredActions, (QStringList{"Start Chromium for Pixtrawl", "Start Firefox for Pixtrawl"}));
    ASSERT_EQ(a.messages.errors.size(), 1);
    EXPECT_EQ(a.messages.errors[0], "Chromium stopped before it answered.\n\nIt said:\nno display");
    EXPECT_EQ(a.main->selectedWindow(), -1);

    // A start that cannot even begin (a file where its profile folder would go) fails at once as well.
    BrowserLauncher blocked(program);
    a.picker.setBrowserStarting(&blocked, {{"Chromium", program, "chromium", false}});
    a.messages.errors.clear();
    EXPECT_FALSE(a.main->grabFromBrowser());
    ASSERT_EQ(a.messages.errors.size(), 1);
    EXPECT_TRUE(a.messages.errors[0].startsWith("Chromium could not be started: its profile folder")) << a.messages.errors[0].toStdString();
}

TEST(GrabCommand, ClosingTheMainWindowEndsARunningHarvest)
{
    App a;
    QString links;
    for (int i = 0; i < 40; ++i)
        links += QStringLiteral("<a href=\"http://g.test/%1.jpg\"><img src=t.jpg width=90 height=90></a>").arg(i);
    std::shared_ptr<Document> doc = htmlDocument(links, QStringLiteral("http://g.test/"));
    doc->addFrame(gallery("Frame"));
    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Many", "http://g.test/", doc)};
    a.answerPicker(true);
    int pumps = 0;
    setPumpHook([&] {
        if (pumps++ == 0)
            a.main->close();
        QCoreApplication::processEvents();
    });
    a.main->onGrab();
    setPumpHook({});
    ASSERT_GE(pumps, 1) << "the harvest let messages run";
    EXPECT_FALSE(a.folder.exists("thumbs.html"));
    EXPECT_TRUE(a.main->thumbnailsPane()->pageLines().isEmpty());
    EXPECT_TRUE(a.messages.informations.isEmpty());
    EXPECT_TRUE(a.messages.errors.isEmpty());
    EXPECT_FALSE(a.progress.isVisible());
}

TEST(GrabCommand, AWindowWithoutDocumentIsReported)
{
    App a;
    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Gone", "http://g.test/")};
    a.answerPicker(true);
    a.main->grabButton()->click();
    EXPECT_EQ(a.messages.errors.size(), 1);
    EXPECT_EQ(a.main->selectedWindow(), 0);
}

TEST(GrabCommand, AnOpenedFileLocksAddToExistingForOnePick)
{
    App a;
    a.windows.windows = {std::make_shared<PlainBrowserWindow>("Cats", "http://g.test/", gallery("Cats"))};
    a.folder.write("saved.html", "<html><head><title>Saved</title></head><body></body></html>");
    a.messages.openFile = a.folder.file("saved.html");
    a.main->onOpenThumbnails();
    EXPECT_TRUE(a.main->openedFromFile());
    ASSERT_TRUE(waitUntil([&] { return a.main->thumbnailsPane()->statusText() == "Download complete"; }));

    bool enabled = true, checked = true;
    a.answerPicker(true, &enabled, &checked);
    a.main->onGrab();
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(checked);
    EXPECT_FALSE(a.main->openedFromFile());
    EXPECT_FALSE(a.main->addToExisting());
    ASSERT_TRUE(a.settled());

    a.answerPicker(false, &enabled, &checked);
    a.main->onGrab();
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(checked);

    // A cancelled open changes nothing.
    a.messages.openFile.clear();
    a.main->onOpenThumbnails();
    EXPECT_FALSE(a.main->openedFromFile());
}

TEST(MainWindow, SelectMenusDispatchByTag)
{
    App a;
    a.folder.write("page.html", "<input type=checkbox name=a.jpg value=1><input type=checkbox name=b.html value=2>");
    a.main->thumbnailsPane()->openThumbnails(a.folder.file("page.html"));
    ASSERT_TRUE(waitUntil([&] { return !a.main->thumbnailsPane()->view()->isBusy(); }));
    auto boxes = [&] {
        QString s;
        for (const Element* e : a.main->thumbnailsPane()->thumbnailsDocument()->all())
            if (e->tagName() == "INPUT")
                s += e->status() ? 'x' : '.';
        return s;
    };
    a.main->menuItem("selectImagesButtonAction")->trigger();
    EXPECT_EQ(boxes(), "x.");
    a.main->menuItem("selectLinksAction")->trigger();
    EXPECT_EQ(boxes(), "xx");
    a.main->menuItem("deselectAllButtonAction")->trigger();
    EXPECT_EQ(boxes(), "..");
    QAction other;
    other.setData(7);
    a.main->onSelect(&other);
    EXPECT_EQ(boxes(), "..");
    a.main->menuItem("selectAllAction")->trigger();
    EXPECT_EQ(boxes(), "xx");
}
