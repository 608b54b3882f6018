// The captions of the program's windows as the window system has them (the X properties the window
// manager reads), with the application set up as the program sets it up.
#include "app/ApplicationSetup.h"
#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "dialogs/BrowserPicker.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"
#include "testing/PlainWindows.h"
#include "testing/RecordingDialogs.h"
#include "testing/TestBrowserView.h"
#include "tests/support/TestSupport.h"

#include <QGuiApplication>
#include <QProcess>
#include <QWidget>

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// The window's _NET_WM_NAME and WM_NAME as xprop reads them from the X server.
QStringList windowNames(QWidget& w)
{
    w.show();
    waitUntil([&] { return w.isVisible(); });
    QCoreApplication::processEvents();
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(w.winId()),
                                           QStringLiteral("_NET_WM_NAME"), QStringLiteral("WM_NAME")});
    EXPECT_TRUE(xprop.waitForFinished(10000));
    QStringList names;
    for (const QString& line : QString::fromUtf8(xprop.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QStringLiteral(" = \""));
        names << (eq < 0 ? line : line.mid(eq + 4).chopped(1));
    }
    w.hide();
    return names;
}

} // namespace

TEST(Captions, AreExactlyTheWindowsOwn)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs the X display of xvfb-run";
    setUpApplication();
    TempProgramFolder folder;
    RecordingDialogs dialogs;
    TestBrowserViewFactory views(dialogs);
    PlainBrowserWindowList windows;
    Settings settings;
    ProgressWindow progress;
    OptionsDialog options(settings, dialogs);
    BrowserPicker picker(windows, dialogs);
    MainWindow main({views, windows, settings, progress, options, picker, dialogs, false});
    AboutDialog info(dialogs);

    EXPECT_EQ(windowNames(main), (QStringList{"Pixtrawl 1.0", "Pixtrawl 1.0"}));
    EXPECT_EQ(windowNames(options), (QStringList{"Options", "Options"}));
    EXPECT_EQ(windowNames(picker), (QStringList{"Pic a Browser", "Pic a Browser"}));
    EXPECT_EQ(windowNames(info), (QStringList{"Info", "Info"}));
}
