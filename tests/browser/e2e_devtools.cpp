#include "browser/devtools/DevToolsWindows.h"
#include "dom/Document.h"
#include "core/Error.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

using namespace pxt;
using namespace pxt::test;

namespace {

std::vector<Element*> images(const Document& doc)
{
    std::vector<Element*> out;
    for (Element* e : doc.all())
        if (e->tagName() == QLatin1String("IMG"))
            out.push_back(e);
    return out;
}

} // namespace

TEST(DevToolsE2E, ListsTheRunningChromiumsPagesAndReadsTheirDocuments)
{
    QTemporaryDir site, otherSite, profiles;
    ASSERT_TRUE(site.isValid() && otherSite.isValid() && profiles.isValid());
    writeThumb(site.filePath("thumb.png"));
    writeThumb(otherSite.filePath("thumb.png"));
    writeFile(site.filePath("devtools_frame.html"), test::readFixture("devtools_frame.html"));
    writeFile(otherSite.filePath("devtools_cross.html"), test::readFixture("devtools_cross.html"));

    StaticServer server(site.path());
    StaticServer otherServer(otherSite.path());
    ASSERT_NE(server.port(), 0);
    ASSERT_NE(otherServer.port(), 0);
    writeFile(site.filePath("devtools_gallery.html"),
              test::readFixture("devtools_gallery.html").replace("@CROSS_PORT@", QByteArray::number(otherServer.port())));
    const QString galleryUrl = server.url("devtools_gallery.html");

    // The browser's profile lies where Chromium keeps it below the profile root, so the endpoint is
    // found through its DevToolsActivePort file. No --remote-allow-origins: the client sends no Origin.
    const QString userDataDir = profiles.filePath("chromium");
    GroupProcess chromium;
    ASSERT_TRUE(startHeadlessChromium(chromium, userDataDir, galleryUrl)) << "Chromium announced no DevTools port";

    BrowserEndpointSources sources;
    sources.profileRoot = profiles.path();
    sources.fixedEndpoints = {};
    sources.settingsFile = profiles.filePath("none.ini");
    DevToolsWindowList list(sources);
    std::shared_ptr<BrowserWindow> window;
    ASSERT_TRUE(test::waitUntil([&] {
        list.refresh();
        for (int i = 0; i < list.count(); ++i)
            if (list.item(i)->locationUrl() == galleryUrl && list.item(i)->locationName() == "DevTools Gallery")
                window = list.item(i);
        return window != nullptr;
    }, 30000)) << "the gallery is not listed";
    ASSERT_EQ(list.endpoints().size(), 1);

    // The pictures and frames load after the page is listed; read until the browser has laid out the
    // pictures and the frames have left their first blank document (which has the parent's origin).
    // The frame of another origin is read in a world of its own.
    const QString crossUrl = QStringLiteral("http://127.0.0.1:%1/devtools_cross.html").arg(otherServer.port());
    std::shared_ptr<Document> doc;
    ASSERT_TRUE(test::waitUntil([&] {
        try {
            doc = window->document();
            const auto imgs = images(*doc);
            return imgs.size() == 2 && imgs[0]->width() == 64 && doc->framesLength() == 2
                && doc->frame(0)->url() == server.url("devtools_frame.html") && images(*doc->frame(0)).size() == 1
                && doc->frame(1)->url() == crossUrl && images(*doc->frame(1)).size() == 1;
        } catch (const Error&) {
            return false;
        }
    }, 30000)) << "the page did not load, or its frame of another origin could not be read";

    EXPECT_EQ(doc->title(), "DevTools Gallery");
    EXPECT_EQ(doc->url(), galleryUrl);
    const std::vector<Element*> links = doc->links();
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0]->href(), server.url("pics/one.jpg"));
    EXPECT_EQ(links[1]->href(), server.url("pics/two.jpg"));
    EXPECT_EQ(links[2]->href(), server.url("page.html"));
    const auto imgs = images(*doc);
    EXPECT_EQ(imgs[0]->href(), server.url("thumb.png"));
    EXPECT_EQ(QSize(imgs[0]->width(), imgs[0]->height()), QSize(64, 48)) << "the picture's own size";
    EXPECT_EQ(QSize(imgs[1]->width(), imgs[1]->height()), QSize(128, 96)) << "laid out by the style sheet";

    const std::shared_ptr<Document> frame = doc->frame(0);
    EXPECT_EQ(frame->title(), "Same-origin frame");
    ASSERT_EQ(frame->links().size(), 1u);
    EXPECT_EQ(frame->links()[0]->href(), server.url("pics/three.jpg"));
    ASSERT_EQ(images(*frame).size(), 1u);
    EXPECT_EQ(images(*frame)[0]->width(), 32);
    const std::shared_ptr<Document> cross = doc->frame(1);
    EXPECT_EQ(cross->title(), "Cross-origin frame");
    ASSERT_EQ(cross->links().size(), 1u);
    EXPECT_EQ(cross->links()[0]->href(), otherServer.url("pics/four.jpg"));
    EXPECT_EQ(images(*cross)[0]->width(), 64);
}
