// Starting a browser for the program: which browsers are offered, and what is left when one fails.
#include "browser/BrowserLauncher.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pxt;
using pxt::test::writeProgram;

TEST(InstalledBrowsers, TheBrowsersFoundInTheirOrderEachOnce)
{
    QTemporaryDir bin;
    for (const char* name : {"firefox-esr", "vivaldi-stable", "chromium", "google-chrome", "brave"})
        writeProgram(bin.filePath(name), "#!/bin/sh\n");
    // Debian's firefox: a script that runs firefox-esr, the same browser again.
    writeProgram(bin.filePath("firefox"), "#!/bin/sh\nexec firefox-esr \"$@\"\n");
    // Another name of the same file.
    QFile::link(bin.filePath("chromium"), bin.filePath("chromium-browser"));

    QStringList found;
    for (const LaunchableBrowser& b : installedBrowsers({bin.path()}))
        found << b.name + "|" + QFileInfo(b.program).fileName() + "|" + b.id + (b.firefox ? "|firefox" : "");
    EXPECT_EQ(found, (QStringList{"Chromium|chromium|chromium", "Google Chrome|google-chrome|google-chrome",
                                  "Brave|brave|brave", "Vivaldi|vivaldi-stable|vivaldi",
                                  "Firefox ESR|firefox-esr|firefox-esr|firefox"}));
    EXPECT_TRUE(installedBrowsers({bin.filePath("none")}).isEmpty());
}

TEST(BrowserLauncher, LastLinesOfWhatItSaid)
{
    EXPECT_EQ(lastLines("a\nb\n\nc\nd\ne\nf\n", 3), "d\ne\nf");
    EXPECT_EQ(lastLines(""), "");
}

// A browser that ends at once, and one that never answers: each gives the box's reason with what it
// said, and nothing of it is left running. Its profile folder is made, private.
TEST(BrowserLauncher, AFailedStartTellsWhyAndLeavesNothingRunning)
{
    QTemporaryDir dir;
    const QString marker = dir.path();
    writeProgram(dir.filePath("ends"), "#!/bin/sh\necho 'starting' >&2\necho 'Missing X server or $DISPLAY' >&2\nexit 1\n");
    writeProgram(dir.filePath("silent"), "#!/bin/sh\necho 'waiting for ever' >&2\nsh -c 'sleep 300; true' " + marker.toUtf8()
                                             + "-child &\nsleep 301\n");
    const struct {
        const char* program;
        const char* reason;
    } cases[] = {
        {"ends", "Chromium stopped before it answered.\n\nIt said:\nstarting\nMissing X server or $DISPLAY"},
        {"silent", "Chromium did not answer within 1 s.\n\nIt said:\nwaiting for ever"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        BrowserLauncher launcher(dir.filePath("profiles"));
        launcher.setAnswerLimit(1000);
        QSignalSpy failed(&launcher, &BrowserLauncher::failed);
        QSignalSpy ready(&launcher, &BrowserLauncher::ready);
        const LaunchableBrowser browser{"Chromium", dir.filePath(c.program), "chromium", false};
        launcher.start(browser);
        ASSERT_TRUE(failed.wait(5000));
        EXPECT_EQ(failed[0][0].toString(), c.reason);
        EXPECT_TRUE(ready.isEmpty());
        EXPECT_TRUE(test::processesWith(marker).isEmpty());
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                          | QFile::WriteOther | QFile::ExeOther;
        EXPECT_FALSE(QFileInfo(launcher.profileFolder(browser)).permissions() & others);
    }
}
