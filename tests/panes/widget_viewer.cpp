#include "core/AsciiText.h"
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "testing/TestBrowserView.h"
#include "panes/ViewerPane.h"
#include "settings/Settings.h"
#include "testing/RecordingDialogs.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// A thumbnail page whose boxes for the given links are checked.
std::shared_ptr<Document> selection(const QStringList& checked, const QStringList& unchecked = {})
{
    QString body;
    for (const QString& l : checked)
        body += QStringLiteral("<div><input type=checkbox checked name=n value=\"%1\"></div>").arg(l);
    for (const QString& l : unchecked)
        body += QStringLiteral("<div><input type=checkbox name=n value=\"%1\"></div>").arg(l);
    return htmlDocument(body, QStringLiteral("file:///thumbs.html"));
}

struct Pane {
    TempProgramFolder folder;
    RecordingDialogs messages;
    TestBrowserViewFactory views{messages};
    Settings settings;
    ViewerPane frame{views, settings, messages};

    bool idle() { return waitUntil([&] { return !frame.isBusy() && frame.run().atEnd(); }); }
    QList<QByteArray> page(const QString& name) const
    {
        QList<QByteArray> lines = folder.read(name).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

const QByteArray kFont = "><br><font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-weight:bold; "
                         "font-size:11px; color:#000000;\">";

QByteArray imageLine(const QByteArray& address)
{
    return "<img src=" + address + kFont + address + "</font><br><br><br>\r";
}

} // namespace

TEST(ViewRun, NothingCheckedStartsNothing)
{
    Pane p;
    EXPECT_FALSE(p.frame.startView(selection({}, {"http://x.test/a.jpg"}), "<HEAD></HEAD>"));
    EXPECT_TRUE(p.frame.run().links().isEmpty());
    EXPECT_TRUE(p.frame.run().pictures().isEmpty());
    EXPECT_FALSE(p.frame.run().singleLink());
    EXPECT_EQ(p.frame.pageHead(), "<HEAD></HEAD>");
    EXPECT_FALSE(p.folder.exists("download1.html"));
}

TEST(ViewRun, PictureLinksGiveNumberedViewPages)
{
    Pane p;
    const QStringList links = {"http://x.test/1.jpg", "http://x.test/2.jpg", "file:///pics/3.jpg"};
    ASSERT_TRUE(p.frame.startView(selection(links), QString()));
    ASSERT_TRUE(p.idle());
    EXPECT_EQ(p.page("download1.html"),
              (QList<QByteArray>{imageLine("http://x.test/1.jpg"), imageLine("http://x.test/2.jpg"),
                                 "<img src=file:///pics/3.jpg><br><br><br><br>\r"}));
    EXPECT_TRUE(p.frame.statusText().startsWith("Ready: file://"));
    EXPECT_TRUE(p.frame.statusText().endsWith("download1.html"));

    ASSERT_TRUE(p.frame.startView(selection(links), QString()));
    ASSERT_TRUE(p.idle());
    EXPECT_TRUE(p.folder.exists("download1.html"));
    EXPECT_EQ(p.page("download2.html").size(), 3);
    EXPECT_EQ(p.frame.pageFile(), p.folder.file("download2.html"));
}

TEST(ViewRun, TheHeadTextStandsBeforeTheFirstLine)
{
    Pane p;
    ASSERT_TRUE(p.frame.startView(selection({"http://x.test/1.jpg", "http://x.test/2.jpg"}),
                                  "<HEAD><title>Cats</title></HEAD>"));
    ASSERT_TRUE(p.idle());
    const auto lines = p.page("download1.html");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "<HEAD><title>Cats</title></HEAD>" + imageLine("http://x.test/1.jpg"));
    EXPECT_EQ(lines[1], imageLine("http://x.test/2.jpg"));
}

TEST(ViewRun, PageLinksAreLoadedAndTheirImagesTaken)
{
    TestBrowserView::registerPage("http://x.test/show.php?id=7",
                                  "<img src=\"banner.gif\" width=468 height=60><img src=\"big.jpg\" width=300 height=200>"
                                  "<img src=\"nosize.jpg\"><img src=\"big.jpg\" width=300 height=200>");
    struct Case {
        float ratio;
        QStringList images;
    } cases[] = {
        {2.75f, {"http://x.test/big.jpg", "http://x.test/nosize.jpg", "http://x.test/big.jpg"}},
        {0.0f, {"http://x.test/banner.gif", "http://x.test/big.jpg", "http://x.test/nosize.jpg", "http://x.test/big.jpg"}},
    };
    for (const Case& c : cases) {
        Pane p;
        SnapshotValues v;
        v.bannerRatio = c.ratio;
        p.settings.takeSnapshot(v);
        ASSERT_TRUE(p.frame.startView(selection({"http://x.test/a.jpg", "http://x.test/show.php?id=7"}), QString()));
        EXPECT_EQ(p.frame.statusText(), "Download: http://x.test/show.php?id=7");
        ASSERT_TRUE(p.idle());
        QStringList expected = {"http://x.test/a.jpg"};
        expected += c.images;
        QStringList srcs;
        for (const QByteArray& l : p.page("download1.html"))
            srcs << QString::fromLatin1(l.mid(9, l.indexOf('>') - 9));
        EXPECT_EQ(srcs, expected) << c.ratio;
    }
}

TEST(ViewRun, APageWhoseDocumentCannotBeReadCountsAsOneWithoutPictures)
{
    TestBrowserView::registerPage("http://x.test/busy.html", "<img src=\"lost.jpg\" width=300 height=200>");
    TestBrowserView::registerUnreadablePage("http://x.test/busy.html", "The page did not hand over its document within 10 seconds.");
    TestBrowserView::registerPage("http://x.test/fine.html", "<img src=\"big.jpg\" width=300 height=200>");
    for (bool viewHtml : {true, false}) {
        SCOPED_TRACE(viewHtml);
        Pane p;
        p.frame.viewHtmlBox()->setChecked(viewHtml);
        ASSERT_TRUE(p.frame.startView(
            selection({"http://x.test/a.jpg", "http://x.test/busy.html", "http://x.test/fine.html"}), QString()));
        ASSERT_TRUE(p.idle());
        ASSERT_TRUE(waitUntil([&] { return p.frame.statusText().startsWith("Ready: "); }));
        EXPECT_TRUE(p.messages.errors.isEmpty()) << p.messages.errors.join('\n').toStdString();
        EXPECT_EQ(p.page("download1.html"),
                  (QList<QByteArray>{imageLine("http://x.test/a.jpg"), imageLine("http://x.test/big.jpg")}));
        EXPECT_FALSE(p.frame.cover()->isVisible());
        EXPECT_TRUE(p.frame.cover()->isHidden()) << "the cover is down";
    }
    TestBrowserView::clearPages();
}

TEST(ViewRun, ASingleClickedPageLink)
{
    TestBrowserView::registerPage("http://x.test/page.html", "<img src=\"big.jpg\" width=300 height=200>");
    for (bool viewHtml : {true, false}) {
        Pane p;
        p.frame.viewHtmlBox()->setChecked(viewHtml);
        p.frame.viewLink("http://x.test/page.html");
        EXPECT_EQ(p.frame.cover()->isVisibleTo(&p.frame), !viewHtml);
        ASSERT_TRUE(p.idle());
        EXPECT_TRUE(p.frame.run().singleLink());
        if (viewHtml) {
            EXPECT_FALSE(p.folder.exists("download1.html"));
            EXPECT_EQ(p.frame.statusText(), "Ready: http://x.test/page.html");
        } else {
            EXPECT_TRUE(p.folder.exists("download1.html"));
            EXPECT_FALSE(p.frame.cover()->isVisibleTo(&p.frame));
        }
    }
}

TEST(ViewRun, ManyPictureLinksRunInOneLoop)
{
    Pane p;
    QStringList links;
    for (int i = 0; i < 10000; ++i)
        links << QStringLiteral("http://x.test/%1.jpg").arg(i);
    ASSERT_TRUE(p.frame.startView(selection(links), QString()));
    ASSERT_TRUE(p.idle());
    EXPECT_EQ(p.page("download1.html").size(), 10000);
}

TEST(ViewRun, HostileAddressesCannotBreakOut)
{
    Pane p;
    const QString nasty = "http://x.test/a.jpg><script>alert(1)</script>";
    ASSERT_TRUE(p.frame.startView(selection({nasty.toHtmlEscaped() + "\" x=\"1.jpg"}), QString()));
    ASSERT_TRUE(p.idle());
    const QByteArray page = p.folder.read("download1.html");
    EXPECT_FALSE(page.contains("<script>"));
}

// The percentages themselves are the status line's rule (percentStatus); here only that the pane
// applies it to the text of what it loads.
TEST(DownloadPane, LoadProgressShowsThePercentageOfWhatLoads)
{
    Pane p;
    p.frame.viewLink("http://x.test/a.jpg");
    ASSERT_TRUE(p.idle());
    const QString loading = p.frame.loadingText();
    ASSERT_FALSE(loading.isEmpty());
    Q_EMIT p.frame.view()->loadProgress(45, 100);
    EXPECT_EQ(p.frame.statusText(), percentStatus(loading, 45, 100));
    Q_EMIT p.frame.view()->loadProgress(100, 100);
    EXPECT_EQ(p.frame.statusText(), percentStatus(loading, 45, 100)); // a finished load leaves it
}
