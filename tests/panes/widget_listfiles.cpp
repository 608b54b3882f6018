#include "tests/panes/ThumbsPane.h"
#include "testing/HtmlDocument.h"

#include <QCoreApplication>
#include <QLabel>
#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {

struct Pane : ThumbsPane {

    // A grab of n page-link thumbnails (the probe sends nothing for them).
    void grab(const QString& title, int n)
    {
        QString body;
        for (int i = 0; i < n; ++i)
            body += QStringLiteral("<a href=\"http://g.test/p%1.html\"><img src=t.jpg width=90 height=90></a>").arg(i);
        frame.grabDocument(htmlDocument("<title>" + title + "</title>" + body, "http://g.test/"), false);
        waitUntil([&] { return !frame.view()->isBusy() && frame.statusText() == "Ready"; });
    }
    void check(const QList<int>& which)
    {
        int i = 0;
        for (Element* e : frame.thumbnailsDocument()->all())
            if (e->tagName() == "INPUT")
                e->setStatus(which.contains(i++));
    }
    QStringList selLines() const
    {
        QStringList out;
        for (const QByteArray& l : folder.read("thumbs_sel.html").split('\n'))
            if (!l.isEmpty())
                out << QString::fromLatin1(l.chopped(1));
        return out;
    }
};

} // namespace

TEST(SelectedThumbs, RowsFollowTheColumnCountInPageOrder)
{
    Pane p;
    p.grab("Cats", 7);
    p.check({0, 2, 3, 5, 6});
    // A size the probe wrote stays in its cell.
    for (Element* e : p.frame.thumbnailsDocument()->all())
        if (e->tagName() == "DIV" && e->id().endsWith("p2.html"))
            e->setInnerHTML(e->innerHTML() + "<font>&nbsp;&nbsp;12 kB </font>");
    p.frame.saveSelectedThumbnails();

    const QStringList lines = p.selLines();
    ASSERT_GE(lines.size(), 10);
    EXPECT_TRUE(lines[0].contains("<title>Thumbnails from Cats</title>"));
    EXPECT_EQ(lines[1], "<table align=center border=0 width=100%><tr>");
    QStringList shape;
    for (const QString& l : lines.mid(2)) {
        if (l == "</tr><tr>")
            shape << "|";
        else if (l.startsWith("<td"))
            shape << l.section("value=\"http://g.test/", 1).section(".html", 0, 0);
    }
    EXPECT_EQ(shape, (QStringList{"p0", "p2", "|", "p3", "p5", "|", "p6"}));
    const QStringList p2 = lines.filter("p2.html\">");
    ASSERT_EQ(p2.size(), 1);
    EXPECT_TRUE(p2[0].startsWith("<td valign=\"bottom\">"));
    EXPECT_TRUE(p2[0].contains("12 kB"));
    EXPECT_EQ(lines.last(), "</tr></table></form></body></html>");
    EXPECT_FALSE(p.folder.read("thumbs_sel.html").contains(QByteArray("\n").prepend('>')) ) << "every line ends with CR LF";

    // The hidden view loads the page and its Save As follows.
    auto* sel = static_cast<TestBrowserView*>(p.frame.selectionView());
    ASSERT_TRUE(waitUntil([&] { return sel->saveAsCount() == 1; }));
    EXPECT_TRUE(sel->locationUrl().endsWith("thumbs_sel.html"));
    EXPECT_EQ(p.frame.statusText(), "Ready");
}

TEST(SelectedThumbs, NothingCheckedWritesNothing)
{
    Pane p;
    p.grab("Cats", 2);
    p.frame.saveSelectedThumbnails();
    EXPECT_EQ(p.messages.informations, QStringList{"Nothing selected!"});
    EXPECT_FALSE(p.folder.exists("thumbs_sel.html"));
}

TEST(ListFiles, AnOpenedPageStartsNoProbe)
{
    Pane p;
    p.grab("Cats", 2);
    p.folder.write("saved.html", p.folder.read("thumbs.html"));
    p.frame.openThumbnails(p.folder.file("saved.html"));
    EXPECT_TRUE(p.frame.pageLines().isEmpty());
    EXPECT_EQ(p.frame.statusText(), "Loading Thumbnails...");
    ASSERT_TRUE(waitUntil([&] { return !p.frame.view()->isBusy(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(p.frame.statusText(), "Download complete");

    // Reload goes back to the last grab's page.
    p.frame.reload();
    ASSERT_TRUE(waitUntil([&] { return !p.frame.view()->isBusy(); }));
    EXPECT_TRUE(p.frame.view()->locationUrl().endsWith("thumbs.html"));
}

TEST(ListFiles, SaveAllWhileLoadingIsIgnored)
{
    Pane p;
    p.grab("Cats", 1);
    auto* view = static_cast<TestBrowserView*>(p.frame.view());
    p.frame.reload();
    p.frame.saveAllThumbnails(); // still loading
    EXPECT_EQ(view->saveAsCount(), 0);
    ASSERT_TRUE(waitUntil([&] { return !view->isBusy(); }));
    p.frame.saveAllThumbnails();
    EXPECT_EQ(view->saveAsCount(), 1);
}
