// A settings file as the program wrote it before its names were gathered in one header: it must read
// the same and be written back unchanged. The names here are written out on purpose, not taken from
// the header, so that a change there fails.
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "browser/BrowserEndpoints.h"
#include "panes/ThumbnailsPane.h"
#include "http/BrowserSession.h"
#include "dialogs/BrowserPicker.h"
#include "ui/WindowPlacement.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"
#include "testing/PlainWindows.h"
#include "testing/RecordingDialogs.h"
#include "testing/TestBrowserView.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace pxt;
using namespace pxt::test;

namespace {

// settings_before.ini, as the program left it after two runs: every stored value off its first-run
// value, the window at 60,40 700x500 on the offscreen screen (800x800, 96 dpi), [Browsers] added by
// hand between them. The filter lines come last because each write of the options section adds them
// anew at the end of the file.
const char* const kFixture = "settings_before.ini";

// The program as it starts on a program folder that already holds the settings file.
struct Program {
    BrowserSession session;
    RecordingDialogs messages;
    TestBrowserViewFactory views{messages};
    PlainBrowserWindowList windows;
    Settings settings;
    ProgressWindow progress;
    OptionsDialog options{settings, messages};
    BrowserPicker picker{windows, messages};
    std::unique_ptr<MainWindow> main = std::make_unique<MainWindow>(
        MainWindowServices{views, windows, settings, progress, options, picker, messages, false, &session});

    Program()
    {
        main->show();
        waitUntil([&] { return !main->thumbnailsPane()->view()->isBusy(); });
    }
};

QString rectText(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

TEST(SettingsFile, AnEarlierFileReadsTheSame)
{
    TempProgramFolder folder;
    folder.write("pxt.ini", readFixture(kFixture));
    ASSERT_TRUE(folder.read("pxt.ini").contains("\r\n")) << "the fixture lost its CR LF line ends";
    Program p;
    BrowserEndpointSources sources;
    sources.profileRoot = folder.path(); // no browser profiles: only the settings file names endpoints
    sources.fixedEndpoints = {};

    const Settings& s = p.settings;
    const struct {
        const char* stored; // where the value comes from
        QString read;
        QString expected;
    } values[] = {
        {"[TDlgOptions] EditFileTypes_Text", s.fileTypes(), "jpg, png, webp"},
        {"[TDlgOptions] CheckBox1_Checked", s.linkFilterEnabled() ? "on" : "off", "off"},
        {"[TDlgOptions] RxSpinEditRatio_Value", QString::number(s.bannerRatio()), "3.5"},
        {"[TDlgOptions] RxSpinEditColCount_Value", QString::number(s.thumbColumnCount()), "5"},
        {"[TDlgOptions] RxSpinEditWidth_Value", QString::number(s.minThumbWidth()), "80"},
        {"[TDlgOptions] RxSpinEditHeight_Value", QString::number(s.minThumbHeight()), "120"},
        {"[TDlgOptions] RxSpinEditParallel_Value", QString::number(s.parallelRequests()), "6"},
        {"[TDlgOptions] CheckBoxLogin_Checked", s.useBrowserLogin() ? "on" : "off", "off"},
        {"[TDlgOptions] CheckBoxLogin_Checked, the session", p.session.enabled() ? "on" : "off", "off"},
        // The leading blank of Item1 is part of the line.
        {"[TDlgOptions.MemoFilter_Lines]", s.linkFilterLines().join('|'), "doubleclick| banner ads"},
        {"[TFormMain] NormPos(800x800)", rectText(p.main->geometry()), "60,40 700x500"},
        {"[TFormMain] ShowCmd", QString::number(p.main->windowState().toInt()), "0"},
        {"[TFormMain] placed from the file", p.main->placement().placementApplied() ? "yes" : "no", "yes"},
        {"[TFormMain] FrameThumbs1_Width", QString::number(p.main->thumbnailsPane()->width()), "260"},
        {"[Browsers] DevToolsEndpoints", discoverBrowserEndpoints(sources).join('|'), "127.0.0.1:9333|localhost:9444"},
    };
    for (const auto& v : values)
        EXPECT_EQ(v.read, v.expected) << v.stored;
    // What the user is told to write must be what is read.
    EXPECT_TRUE(noBrowserText({}).contains("pxt.ini under [Browsers] DevToolsEndpoints=host:port"));
    EXPECT_TRUE(p.messages.errors.isEmpty());
}

// The bytes stay, but for the settings added since, at their first-run values, behind the section's keys.
TEST(SettingsFile, SavedBackUnchangedItIsTheSameBytes)
{
    const QByteArray before = readFixture(kFixture);
    ASSERT_FALSE(before.isEmpty());
    QByteArray after = before;
    after.replace("CheckBoxLogin_Checked=False\r\n",
                  "CheckBoxLogin_Checked=False\r\nThumbnailSize_Value=200\r\nCheckBoxUnlinked_Checked=True\r\n");
    ASSERT_NE(after, before);
    // The ways the sections get written: the options dialog's OK, the main window's close, and the
    // options section while the dialog is destroyed when it was not written since it was read.
    const struct {
        const char* name;
        std::function<void(Program&)> use;
        bool writtenByUse;
        bool writtenAtEnd;
    } runs[] = {
        {"StartAndClose", [](Program&) {}, false, true},
        {"OptionsOkThenClose",
         [](Program& p) {
             p.options.show();
             p.options.okButton()->click();
         },
         true, false},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        TempProgramFolder folder;
        folder.write("pxt.ini", before);
        // The file's time set far back tells whether a step wrote it; equal bytes alone would not.
        const QDateTime longAgo(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        auto rewritten = [&] {
            QFile f(folder.file("pxt.ini"));
            const bool newer = QFileInfo(f).lastModified() > longAgo;
            if (f.open(QIODevice::ReadWrite))
                f.setFileTime(longAgo, QFileDevice::FileModificationTime);
            return newer;
        };
        rewritten();
        {
            Program p;
            EXPECT_FALSE(rewritten()) << "reading writes nothing";
            run.use(p);
            EXPECT_EQ(rewritten(), run.writtenByUse);
            EXPECT_EQ(folder.read("pxt.ini"), run.writtenByUse ? after : before);
            p.main->close();
            EXPECT_TRUE(rewritten());
            EXPECT_EQ(folder.read("pxt.ini"), run.writtenByUse ? after : before);
            p.main.reset();
            EXPECT_TRUE(p.messages.errors.isEmpty());
        }
        EXPECT_EQ(rewritten(), run.writtenAtEnd);
        EXPECT_EQ(folder.read("pxt.ini"), after);
    }
}
