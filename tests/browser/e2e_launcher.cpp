// The browsers of this machine started for the program: each starts with a profile of the program's
// own, its window is listed and read, and a second start finds the same browser again.
#include "browser/BrowserLauncher.h"
#include "browser/JoinedWindows.h"
#include "browser/bidi/BidiWindows.h"
#include "browser/devtools/DevToolsWindows.h"
#include "dom/Document.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// The browser keeps running when the program ends; the test ends it, with the processes of its
// session that do not name its profile (Chromium's crash handler).
struct EndBrowsersOf {
    QString folder;
    ~EndBrowsersOf()
    {
        for (int pid : processesWith(folder)) {
            const pid_t group = ::getpgid(pid);
            if (group > 1)
                ::kill(-group, SIGKILL);
            ::kill(pid, SIGKILL);
        }
    }
};

} // namespace

TEST(LaunchedBrowser, StartsListsItsWindowAndIsFoundAgain)
{
    const QList<LaunchableBrowser> installed = installedBrowsers();
    QTemporaryDir site;
    writeFile(site.filePath("gallery.html"), "<html><head><title>Launched Gallery</title></head><body>"
                                             "<a href=\"pics/one.jpg\"><img src=\"t1.png\" width=120 height=90></a></body></html>");
    writeThumb(site.filePath("t1.png"));
    StaticServer server(site.path());
    const QString gallery = server.url("gallery.html");

    int tried = 0;
    for (const LaunchableBrowser& browser : installed) {
        if (browser.id != "chromium" && browser.id != "firefox-esr")
            continue;
        ++tried;
        SCOPED_TRACE(browser.name.toStdString());
        QTemporaryDir root;
        const EndBrowsersOf end{root.path()};

        BrowserLauncher launcher(root.path());
        QSignalSpy ready(&launcher, &BrowserLauncher::ready);
        QSignalSpy failed(&launcher, &BrowserLauncher::failed);
        launcher.start(browser, gallery);
        ASSERT_TRUE(ready.wait(BrowserLauncher::kDefaultAnswerLimitMs + 2000)) << failed.value(0).value(0).toString().toStdString();
        EXPECT_FALSE(ready[0][1].toBool());
        const QString endpoint = ready[0][0].toString();

        // Listed through the profile folder alone, and read.
        BrowserEndpointSources sources;
        sources.profileRoot = root.filePath("none");
        sources.fixedEndpoints = {};
        sources.settingsFile = root.filePath("none.ini");
        sources.launchedProfiles = root.path();
        DevToolsWindowList chromium(sources);
        BidiWindowList firefox(sources);
        JoinedBrowserWindowList list({&chromium, &firefox});
        std::shared_ptr<BrowserWindow> window;
        ASSERT_TRUE(waitUntil([&] {
            list.refresh();
            for (int i = 0; i < list.count(); ++i)
                if (list.item(i)->locationName() == "Launched Gallery")
                    window = list.item(i);
            return window != nullptr;
        }, 15000)) << "the window is not listed";
        EXPECT_EQ(list.endpoints(), QStringList{endpoint});
        const std::shared_ptr<Document> doc = window->document();
        const std::vector<Element*> links = doc->links();
        ASSERT_EQ(links.size(), 1u);
        EXPECT_EQ(links[0]->href(), server.url("pics/one.jpg"));

        // A second start finds it running: nothing new is started.
        const qsizetype processes = processesWith(root.path()).size();
        BrowserLauncher again(root.path());
        QSignalSpy readyAgain(&again, &BrowserLauncher::ready);
        again.start(browser);
        ASSERT_TRUE(readyAgain.wait(5000));
        EXPECT_TRUE(readyAgain[0][1].toBool());
        EXPECT_EQ(readyAgain[0][0].toString(), endpoint);
        EXPECT_EQ(processesWith(root.path()).size(), processes);
    }
    EXPECT_EQ(tried, 2) << "Chromium and firefox-esr are installed by the install script";
}
