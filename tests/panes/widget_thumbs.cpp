#include "harvest/SizeProbe.h"
#include "tests/panes/ThumbsPane.h"
#include "testing/HtmlDocument.h"

#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// Page links only: the size probe sends no request for them.
std::shared_ptr<Document> gallery(const QString& title, int thumbs, const QString& prefix = QStringLiteral("p"))
{
    QString body;
    for (int i = 0; i < thumbs; ++i)
        body += QStringLiteral("<a href=\"http://gallery.test/%1%2.html\"><img src=\"t%2.jpg\" width=100 height=80></a>")
                    .arg(prefix)
                    .arg(i);
    body += QStringLiteral("<a href=\"http://gallery.test/small.html\"><img src=\"s.jpg\" width=10 height=10></a>");
    return htmlDocument(QStringLiteral("<title>%1</title>%2").arg(title, body), QStringLiteral("http://gallery.test/"));
}

struct Pane : ThumbsPane {

    QStringList lines() const
    {
        QStringList out;
        for (const QByteArray& l : frame.pageLines())
            out << QString::fromLatin1(l);
        return out;
    }
    bool settled() { return waitUntil([&] { return !frame.view()->isBusy() && frame.statusText() == "Ready"; }); }
};

int count(const QStringList& lines, const QString& prefix)
{
    int n = 0;
    for (const QString& l : lines)
        n += l.startsWith(prefix) ? 1 : 0;
    return n;
}

} // namespace

TEST(ThumbsPane, TwoGrabsAddedToOnePage)
{
    Pane p;
    p.frame.grabDocument(gallery(QStringLiteral("First"), 2), true);
    ASSERT_TRUE(p.settled());
    p.frame.grabDocument(gallery(QStringLiteral("Second"), 1, QStringLiteral("q")), true);
    ASSERT_TRUE(p.settled());

    const QStringList lines = p.lines();
    EXPECT_EQ(count(lines, "<html>"), 1);
    EXPECT_TRUE(lines.first().contains("<title>Thumbnails from First</title>"));
    EXPECT_EQ(count(lines, "<font size=2 face=arial><b>"), 2);
    EXPECT_EQ(count(lines, "<td valign=bottom>"), 3);
    EXPECT_EQ(count(lines, "<br><br><br>"), 2);
    EXPECT_EQ(lines.last(), "<br><br><br>");
    // The first grab's trailer stands between the two grabs' blocks.
    EXPECT_LT(lines.indexOf("<br><br><br>"), lines.indexOf(QRegularExpression("^<font size=2.*Second.*")));
    EXPECT_EQ(p.folder.read("thumbs.html"), p.frame.pageLines().join("\r\n") + "\r\n");
    EXPECT_EQ(p.frame.view()->locationUrl(), QUrl::fromLocalFile(p.folder.file("thumbs.html")).toString());

    // Without "Add to existing Thumbnails" a new page starts.
    p.frame.grabDocument(gallery(QStringLiteral("Third"), 1), false);
    ASSERT_TRUE(p.settled());
    EXPECT_EQ(count(p.lines(), "<font size=2 face=arial><b>"), 1);
}

TEST(ThumbsPane, TitleAlreadyHoldingThePrefix)
{
    Pane p;
    p.frame.grabDocument(gallery(QStringLiteral("Thumbnails from Cats"), 1), false);
    ASSERT_TRUE(p.settled());
    EXPECT_TRUE(p.lines().first().contains("<title>Thumbnails from Cats</title>"));
    EXPECT_TRUE(p.lines()[1].startsWith("<font size=2 face=arial><b>Thumbnails from Cats<b>"));
}

TEST(ThumbsPane, AGrabThatFindsNothingKeepsThePreviousPage)
{
    Pane p;
    p.frame.grabDocument(gallery(QStringLiteral("First"), 2), false);
    ASSERT_TRUE(p.settled());
    const auto before = p.frame.pageLines();
    const QByteArray file = p.folder.read("thumbs.html");

    p.frame.grabDocument(gallery(QStringLiteral("Empty"), 0), true);
    EXPECT_EQ(p.frame.pageLines(), before);
    EXPECT_EQ(p.frame.statusText(), "No Thumbnails found");
    ASSERT_EQ(p.messages.informations.size(), 1);
    EXPECT_EQ(p.messages.informations[0],
              "No Thumbnails found!\n0 Image(s) filtered by Link, 1 Image(s) filtered by Size, 0 Image(s) filtered by Ratio");
    EXPECT_TRUE(p.messages.errors.isEmpty());
    ASSERT_TRUE(p.settled());
    EXPECT_EQ(p.folder.read("thumbs.html"), file);
    EXPECT_TRUE(p.frame.view()->locationUrl().endsWith("thumbs.html"));
}

TEST(ThumbsPane, NothingFoundIsTheStatusAfterTheBox)
{
    Pane p;
    p.frame.grabDocument(gallery(QStringLiteral("First"), 2), false);
    ASSERT_TRUE(p.settled());

    // The restored page loads (and is probed) while the user reads the box.
    bool loaded = false;
    p.messages.whileInformationShown = [&] { loaded = p.settled(); };
    p.frame.grabDocument(gallery(QStringLiteral("Empty"), 0), true);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(p.frame.statusText(), "No Thumbnails found");
    EXPECT_TRUE(p.frame.loadingText().isEmpty());
}

TEST(ThumbsPane, AFirstGrabThatFindsNothingLeavesTheBlankPage)
{
    Pane p;
    p.frame.grabDocument(gallery(QStringLiteral("Empty"), 0), false);
    EXPECT_TRUE(p.frame.pageLines().isEmpty());
    EXPECT_FALSE(p.folder.exists("thumbs.html"));
    waitUntil([&] { return !p.frame.view()->isBusy(); });
    EXPECT_TRUE(p.frame.view()->locationUrl().endsWith("clear.html"));
    EXPECT_EQ(p.messages.informations.size(), 1);
}

TEST(ThumbsPane, StatusTexts)
{
    Pane p;
    p.frame.showBlank();
    EXPECT_EQ(p.frame.statusText(), "Loading Thumbnails...");
    ASSERT_TRUE(waitUntil([&] { return p.frame.statusText() == "Download complete"; }));

    p.frame.stopButton()->click(); // Stop
    EXPECT_EQ(p.frame.statusText(), "Ready");

    // Reload with no generated page shows the blank page; no probe starts.
    p.frame.reloadButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !p.frame.view()->isBusy(); }));
    EXPECT_EQ(p.frame.statusText(), "Download complete");
    EXPECT_TRUE(p.frame.view()->locationUrl().endsWith("clear.html"));

    // Reload after a grab shows thumbs.html and probes it again.
    p.frame.grabDocument(gallery(QStringLiteral("G"), 1), false);
    ASSERT_TRUE(p.settled());
    p.frame.reloadButton()->click();
    EXPECT_EQ(p.frame.statusText(), "Loading Thumbnails...");
    ASSERT_TRUE(p.settled());
    EXPECT_TRUE(p.frame.view()->locationUrl().endsWith("thumbs.html"));
}

TEST(ThumbsPane, WebLinksAreDiverted)
{
    struct Case {
        QString address;
        bool diverted;
    } cases[] = {
        {"http://pics.test/a.jpg", true},
        {"HTTP://PICS.TEST/A.JPG", true},
        {"file:///tmp/x.html?next=http://pics.test/", true},
        {"https://pics.test/a.jpg", true},
        {"HTTPS://PICS.TEST/A.JPG", true},
        {"file:///tmp/x.html", false},
    };
    for (const Case& c : cases) {
        Pane p;
        p.frame.showBlank();
        ASSERT_TRUE(waitUntil([&] { return !p.frame.view()->isBusy(); }));
        QSignalSpy diverted(&p.frame, &ThumbnailsPane::linkDiverted);
        QSignalSpy complete(p.frame.view(), &BrowserView::documentComplete);
        p.frame.view()->navigate(c.address);
        waitUntil([&] { return !p.frame.view()->isBusy(); }, 2000);
        QCoreApplication::processEvents();
        SCOPED_TRACE(c.address.toStdString());
        EXPECT_EQ(diverted.size(), c.diverted ? 1 : 0);
        if (c.diverted) {
            EXPECT_EQ(diverted[0][0].toString(), c.address);
            EXPECT_EQ(complete.size(), 0);
            EXPECT_EQ(p.frame.statusText(), "Loading Thumbnails...");
            EXPECT_TRUE(p.frame.view()->locationUrl().endsWith("clear.html"));
            EXPECT_EQ(p.frame.sizeProbe().state(), SizeProbe::State::Stopped);
            EXPECT_TRUE(p.frame.probeStopped());
        }
    }
}

// The percentages themselves are the status line's rule (percentStatus); here only that the pane
// applies it while its thumbnail page loads, and leaves the status alone otherwise.
TEST(ThumbsPane, LoadProgressShowsThePercentageWhileThePageLoads)
{
    Pane p;
    p.frame.grabDocument(gallery(QStringLiteral("Cats"), 1), false);
    ASSERT_EQ(p.frame.loadingText(), "Loading Thumbnails...");
    Q_EMIT p.frame.view()->loadProgress(45, 100);
    EXPECT_EQ(p.frame.statusText(), "Loading Thumbnails... 45 %");

    p.frame.stop();
    EXPECT_TRUE(p.frame.loadingText().isEmpty());
    Q_EMIT p.frame.view()->loadProgress(45, 100);
    EXPECT_EQ(p.frame.statusText(), "Ready");
}
