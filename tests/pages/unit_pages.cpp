// The view page and the page of selected thumbnails as lines, without a window.
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "pages/SelectedPage.h"
#include "pages/ThumbPage.h"
#include "pages/ViewPage.h"

#include "tests/support/TestSupport.h"

#include "pages/PageText.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pxt;

namespace {

const QByteArray kFont = "><br><font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-weight:bold; "
                         "font-size:11px; color:#000000;\">";

// A thumbnail page's cells: a checked box for each x in marks, an unchecked one for each dot.
std::shared_ptr<Document> thumbsPage(const QString& marks)
{
    QString html = "<html><head><title>Thumbnails from Cats</title></head><body><form><table><tr>";
    for (int i = 0; i < marks.size(); ++i)
        html += QStringLiteral("<td><div id=p%1.jpg><input type=checkbox name=p%1.jpg value=p%1.jpg%2></div></td>")
                    .arg(i)
                    .arg(marks[i] == 'x' ? " checked" : "");
    return htmlDocument(html + "</tr></table></form></body></html>", "file:///thumbs.html");
}

// The text of the element's children.
QString textOf(const Element* e)
{
    QString text;
    for (const Node* n = e->firstChild(); n; n = n->nextSibling())
        if (n->type() == NodeType::Text)
            text += n->data();
    return text;
}

} // namespace

TEST(ViewPage, OneLinePerPictureWithTheHeadInFront)
{
    struct Case {
        const char* what;
        QStringList pictures;
        QString head;
        PageLines expected;
    };
    const Case cases[] = {
        {"web and local pictures", {"http://x.test/1.jpg", "FILE:///p/2.jpg"}, "<HEAD></HEAD>",
         {"<HEAD></HEAD><img src=http://x.test/1.jpg" + kFont + "http://x.test/1.jpg</font><br><br><br>",
          "<img src=FILE:///p/2.jpg><br><br><br><br>"}},
        {"a hostile address stays inside its attribute and text", {"http://x.test/a b\"><script>.jpg"}, "",
         {"<img src=\"http://x.test/a b&quot;><script>.jpg\"" + kFont
          + "http://x.test/a b\"&gt;&lt;script&gt;.jpg</font><br><br><br>"}},
        {"no pictures: the head alone", {}, "<HEAD></HEAD>", {"<HEAD></HEAD>"}},
        {"nothing at all", {}, "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(viewPage(c.pictures, c.head), c.expected) << c.what;
}

TEST(ViewPage, HeadHoldsTheTitleTextEscaped)
{
    const struct {
        QString title;
        QString head;
    } cases[] = {
        {"Cats", "<HEAD><title>Cats</title></HEAD>"},
        {"", "<HEAD><title></title></HEAD>"},
        {"a < b & c > d", "<HEAD><title>a &lt; b &amp; c &gt; d</title></HEAD>"},
        {"</title><script>alert(1)</script>", "<HEAD><title>&lt;/title&gt;&lt;script&gt;alert(1)&lt;/script&gt;</title></HEAD>"},
        {QString::fromUtf8("no\u00a0break \"quoted\""), "<HEAD><title>no&nbsp;break \"quoted\"</title></HEAD>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(viewPageHead(c.title), c.head) << c.title.toStdString();
}

// A value written into a page's text, a quoted and an unquoted attribute comes back exactly from an
// HTML parser: markup, characters beyond ISO-8859-1 and a CR, which a parser reads as a line feed
// where it stands in the page itself.
TEST(PageText, ValuesComeBackFromTheParser)
{
    const QString values[] = {
        QStringLiteral("plain"),
        QStringLiteral(""),
        QString::fromUtf8("<b>&amp; \"q\" 'a' `b` \xC3\xA9 \xE7\x8C\xAB \xF0\x9F\x98\xBA"),
        QStringLiteral("a\r\nb\rc\nd\te"),
        QStringLiteral("\r"),
    };
    for (const QString& v : values) {
        const QByteArray page = toPageBytes(QStringLiteral("<title>") + escapeText(v) + QStringLiteral("</title><div title=\"")
                                            + escapeAttribute(v) + QStringLiteral("\">") + escapeText(v)
                                            + QStringLiteral("</div><img alt=") + unquotedAttribute(v) + QStringLiteral(">"));
        const auto doc = htmlDocument(QString::fromLatin1(page), QStringLiteral("file:///p.html"));
        const Element* title = nullptr;
        const Element* div = nullptr;
        const Element* img = nullptr;
        for (const Element* e : doc->all()) {
            const Element** kept = e->tagName() == QStringLiteral("TITLE") ? &title
                                   : e->tagName() == QStringLiteral("DIV") ? &div
                                   : e->tagName() == QStringLiteral("IMG") ? &img
                                                                           : nullptr;
            if (kept)
                *kept = e;
        }
        ASSERT_TRUE(title && div && img) << page.toStdString();
        EXPECT_EQ(textOf(title), v) << page.toStdString();
        EXPECT_EQ(textOf(div), v) << page.toStdString();
        EXPECT_EQ(div->getAttribute("title"), v) << page.toStdString();
        EXPECT_EQ(img->getAttribute("alt"), v) << page.toStdString();
    }
}

TEST(SelectedPage, CheckedCellsInRowsOfTheColumnCount)
{
    const PageLines lines = selectedThumbsPage(*thumbsPage("x.xxx"), 2, 150);
    ASSERT_EQ(lines.size(), 2 + 4 + 1 + 1);
    EXPECT_EQ(lines[0], ThumbPage::headerLine(QStringLiteral("Thumbnails from Cats"), 150));
    EXPECT_EQ(lines[1], "<table align=center border=0 width=100%><tr>");
    EXPECT_TRUE(lines[2].contains("value=\"p0.jpg\""));
    EXPECT_TRUE(lines[3].contains("value=\"p2.jpg\""));
    EXPECT_EQ(lines[4], "</tr><tr>");
    EXPECT_TRUE(lines[5].contains("value=\"p3.jpg\""));
    EXPECT_TRUE(lines[6].contains("value=\"p4.jpg\""));
    EXPECT_EQ(lines.last(), "</tr></table></form></body></html>");

    EXPECT_TRUE(selectedThumbsPage(*thumbsPage("..."), 2, 150).isEmpty());
}

// The program's pages are never written through a link planted in their place, and are the user's only.
TEST(ProgramPage, ReplacesALinkAndIsPrivate)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("elsewhere.txt");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the user's file");
    }
    const struct {
        const char* page;
        QString linkTo;
    } cases[] = {{"thumbs.html", target}, {"download1.html", dir.filePath("made-by-the-link.html")}};
    for (const auto& c : cases) {
        const QString page = dir.filePath(c.page);
        ASSERT_TRUE(QFile::link(c.linkTo, page));
        writeProgramPage(page, {"<html>", "</html>"});
        EXPECT_FALSE(QFileInfo(page).isSymLink()) << c.page;
        QFile written(page);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), "<html>\r\n</html>\r\n");
        EXPECT_EQ(QFileInfo(page).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                  QFile::ReadOwner | QFile::WriteOwner);
    }
    QFile untouched(target);
    ASSERT_TRUE(untouched.open(QIODevice::ReadOnly));
    EXPECT_EQ(untouched.readAll(), "the user's file");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("made-by-the-link.html")));
}
