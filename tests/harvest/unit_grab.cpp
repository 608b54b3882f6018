// The road of a grab without any window: a document into the thumbnail page's lines and file, and
// what the session borrows from the window it came from.
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "harvest/ThumbnailGrab.h"
#include "http/BrowserSession.h"
#include "pages/ThumbPage.h"
#include "settings/Settings.h"
#include "testing/PlainWindows.h"
#include "testing/SilentProgress.h"
#include "tests/support/TestSupport.h"

#include <QNetworkCookie>

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

std::shared_ptr<Document> gallery(const QString& body, const QString& url = QStringLiteral("http://g.test/a/index.html"))
{
    return htmlDocument(QStringLiteral("<html><head><title>Cats</title></head><body>%1</body></html>").arg(body), url);
}

const QString kThumb = QStringLiteral("<a href=\"big/1.jpg\"><img src=\"/t/1.jpg\" width=90 height=90></a>");
const QString kSmall = QStringLiteral("<a href=\"big/2.jpg\"><img src=\"/t/2.jpg\" width=10 height=10></a>");

struct Grab {
    TempProgramFolder folder;
    Settings settings;
    SilentProgress progress;
    BrowserSession session;
    ThumbnailGrab grab{settings, progress};
    Grab() { grab.setSession(&session); }
};

} // namespace

TEST(ThumbnailGrab, WritesThePageAddsToItAndKeepsItWhenNothingIsFound)
{
    Grab g;
    const auto first = g.grab.grab(gallery(kThumb), false, nullptr);
    EXPECT_EQ(first.kind, ThumbnailGrab::Outcome::Written);
    const PageLines page = g.grab.pageLines();
    ASSERT_FALSE(page.isEmpty());
    EXPECT_EQ(page.first(), ThumbPage::headerLine(QStringLiteral("Cats"), SnapshotValues().thumbnailSize));
    EXPECT_EQ(page.last(), ThumbPage::trailerLine());
    EXPECT_EQ(g.folder.read(QStringLiteral("thumbs.html")), page.join("\r\n") + "\r\n");

    // Added to the page so far: one header, two title lines.
    EXPECT_EQ(g.grab.grab(gallery(kThumb), true, nullptr).kind, ThumbnailGrab::Outcome::Written);
    EXPECT_EQ(g.grab.pageLines().mid(0, page.size()), page);
    EXPECT_EQ(g.grab.pageLines().count(ThumbPage::headerLine(QStringLiteral("Cats"), SnapshotValues().thumbnailSize)), 1);
    const PageLines added = g.grab.pageLines();

    // Nothing found: the page and its file stay, and the box gets the counts.
    const auto none = g.grab.grab(gallery(kSmall), false, nullptr);
    EXPECT_EQ(none.kind, ThumbnailGrab::Outcome::NothingFound);
    EXPECT_EQ(none.rejected.size, 1);
    EXPECT_EQ(g.grab.pageLines(), added);
    EXPECT_EQ(g.folder.read(QStringLiteral("thumbs.html")), added.join("\r\n") + "\r\n");

    g.grab.clearPage();
    EXPECT_TRUE(g.grab.pageLines().isEmpty());
}

TEST(ThumbnailGrab, TheSessionBorrowsTheCellsRefererAndTheCookiesOfTheirFolders)
{
    for (const bool login : {true, false}) {
        SCOPED_TRACE(login ? "login on" : "login off");
        Grab g;
        SnapshotValues v;
        v.useBrowserLogin = login;
        g.settings.takeSnapshot(v);
        PlainBrowserWindow window(QStringLiteral("Cats"), QStringLiteral("http://g.test/a/index.html"));
        QNetworkCookie cookie("sid", "s1");
        cookie.setDomain(QStringLiteral(".g.test"));
        window.cookieJar = {cookie};
        auto doc = gallery(QStringLiteral("<meta name=referrer content=same-origin>") + kThumb
                           + QStringLiteral("<a href=\"http://cdn.test/p/3.jpg\"><img src=\"http://cdn.test/t/3.jpg\" width=90 height=90></a>"));
        doc->addFrame(gallery(QStringLiteral("<a href=\"4.jpg\"><img src=\"4t.jpg\" width=90 height=90></a>"),
                              QStringLiteral("http://frames.test/f/frame.html")));
        ASSERT_EQ(g.grab.grab(doc, false, &window).kind, ThumbnailGrab::Outcome::Written);
        if (!login) {
            EXPECT_TRUE(window.askedFor.isEmpty());
            EXPECT_EQ(g.session.refererFor(QUrl(QStringLiteral("http://g.test/a/big/1.jpg"))), "");
            continue;
        }
        // The documents' folders first, then each cell's link and thumbnail, each once.
        const QList<QUrl> folders = {QUrl("http://g.test/a/"), QUrl("http://frames.test/f/"), QUrl("http://g.test/a/big/"),
                                     QUrl("http://g.test/t/"), QUrl("http://cdn.test/p/"), QUrl("http://cdn.test/t/")};
        EXPECT_EQ(window.askedFor, folders);
        EXPECT_EQ(g.session.cookieHeader(QUrl(QStringLiteral("http://g.test/a/big/1.jpg")), g.session.refererSource(QUrl(QStringLiteral("http://g.test/a/big/1.jpg"))).page), "sid=s1");
        // The gallery's policy: the whole address to its own origin, nothing to another.
        EXPECT_EQ(g.session.refererFor(QUrl(QStringLiteral("http://g.test/a/big/1.jpg"))), "http://g.test/a/index.html");
        EXPECT_EQ(g.session.refererFor(QUrl(QStringLiteral("http://cdn.test/p/3.jpg"))), "");
        // The frame's cells come from the frame, under the default policy.
        EXPECT_EQ(g.session.refererFor(QUrl(QStringLiteral("http://frames.test/f/4t.jpg"))), "http://frames.test/f/frame.html");
    }
}

TEST(ThumbnailGrab, TheViewHeadIsTheTitleOrStaysAsItWas)
{
    EXPECT_EQ(ThumbnailGrab::viewHead(*gallery(QString()), QStringLiteral("before")),
              QStringLiteral("<HEAD><title>Cats</title></HEAD>"));
    const auto untitled = htmlDocument(QStringLiteral("<p>x</p>"), QStringLiteral("http://g.test/"));
    EXPECT_EQ(ThumbnailGrab::viewHead(*untitled, QStringLiteral("before")), QStringLiteral("before"));
}
