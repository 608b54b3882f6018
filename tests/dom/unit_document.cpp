// The document model built from HTML text: repairs, addresses, views, collections, the HTML writer
// and innerHTML writes.

#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "core/Error.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QHash>

using namespace pxt;

namespace {

QStringList tags(const std::vector<Element*>& elements)
{
    QStringList out;
    for (const Element* e : elements)
        out << e->tagName();
    return out;
}

QStringList tags(const Document& doc) { return tags(doc.all()); }

Element* byId(const Document& doc, const QString& id)
{
    for (Element* e : doc.all())
        if (e->id() == id)
            return e;
    return nullptr;
}

Element* firstTag(const Document& doc, const QString& tag)
{
    for (Element* e : doc.all())
        if (e->tagName() == tag)
            return e;
    return nullptr;
}

std::shared_ptr<Document> page(const QString& html, const QString& url = QStringLiteral("http://gallery.test/dir/page.html"))
{
    return htmlDocument(html, url);
}

// The elements of the tree in document order, walked through the node links.
std::vector<Element*> treeElements(const Document& doc)
{
    std::vector<Element*> out;
    Node* n = doc.documentElement();
    while (n) {
        if (Element* e = n->asElement())
            out.push_back(e);
        if (n->firstChild()) {
            n = n->firstChild();
            continue;
        }
        while (n && !n->nextSibling())
            n = n->parentNode();
        if (n)
            n = n->nextSibling();
    }
    return out;
}

// all() must hold the tree's elements, and what a fresh parse of the same tree holds.
void expectAllMatchesTree(const Document& doc)
{
    EXPECT_EQ(doc.all(), treeElements(doc));
    const auto again = htmlDocument(doc.documentElement()->outerHTML(), doc.url());
    EXPECT_EQ(tags(doc), tags(*again));
}

} // namespace

TEST(DocumentFromHtml, RepairsMalformedMarkupAsBrowsersDo)
{
    struct Case {
        const char* html;
        const char* bodyInner;
        QStringList all;
    };
    const std::vector<Case> cases = {
        {"<table><tr><td>a</table>", "<table><tbody><tr><td>a</td></tr></tbody></table>",
         {"HTML", "HEAD", "BODY", "TABLE", "TBODY", "TR", "TD"}},
        {"<p>one<p>two", "<p>one</p><p>two</p>", {"HTML", "HEAD", "BODY", "P", "P"}},
        {"<b><i>x</b>y</i>", "<b><i>x</i></b><i>y</i>", {"HTML", "HEAD", "BODY", "B", "I", "I"}},
        {"<a href=1>one<a href=2>two", "<a href=\"1\">one</a><a href=\"2\">two</a>", {"HTML", "HEAD", "BODY", "A", "A"}},
        {"<table><b>x</b><tr><td>1</td></tr></table>", "<b>x</b><table><tbody><tr><td>1</td></tr></tbody></table>",
         {"HTML", "HEAD", "BODY", "B", "TABLE", "TBODY", "TR", "TD"}},
        {"<div <p>>", "<div <p=\"\">&gt;</div>", {"HTML", "HEAD", "BODY", "DIV"}},
        {"", "", {"HTML", "HEAD", "BODY"}},
        {"<\xff", "&lt;\xff", {"HTML", "HEAD", "BODY"}},
        // gumbo on its own puts this text after the form
        {"<form><input>text\n</FORM >after", "<form><input>text\n</form>after", {"HTML", "HEAD", "BODY", "FORM", "INPUT"}},
        {"<form><script>document.write('</form>')</script><!-- </form> --><p title='</form>'></form>",
         "<form><script>document.write('</form>')</script><!-- </form> --><p title=\"</form>\"></p></form>",
         {"HTML", "HEAD", "BODY", "FORM", "SCRIPT", "P"}},
        {"<textarea>a</form>b</FORM></form>c</textarea>", "<textarea>a&lt;/form&gt;b&lt;/FORM&gt;&lt;/form&gt;c</textarea>",
         {"HTML", "HEAD", "BODY", "TEXTAREA"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.html);
        const auto doc = page(QString::fromLatin1(c.html));
        EXPECT_EQ(tags(*doc), c.all);
        EXPECT_EQ(firstTag(*doc, "BODY")->innerHTML(), QString::fromLatin1(c.bodyInner));
    }
}

TEST(DocumentFromHtml, ResolvesAddressesAgainstThePageAndTheBase)
{
    struct Case {
        const char* page;
        const char* html;
        const char* href; // of the element with id x
    };
    const std::vector<Case> cases = {
        {"http://gallery.test/dir/page.html", "<a id=x href=a.jpg>", "http://gallery.test/dir/a.jpg"},
        {"http://gallery.test/dir/page.html", "<a id=x href='../up/b c.jpg'>", "http://gallery.test/up/b%20c.jpg"},
        {"http://gallery.test/dir/page.html", "<a id=x href=' /root.jpg\n'>", "http://gallery.test/root.jpg"},
        {"http://gallery.test/dir/page.html#top", "<a id=x href=''>", "http://gallery.test/dir/page.html"},
        {"http://gallery.test:80", "<a id=x href=' '>", "http://gallery.test/"},
        {"http://gallery.test/dir/./sub/../page.html", "<a id=x href=''>", "http://gallery.test/dir/page.html"},
        {"http://gallery.test/dir/page.html", "<a id=x href='#frag'>", "http://gallery.test/dir/page.html#frag"},
        {"http://gallery.test/dir/page.html", "<a id=x href='//cdn.test'>", "http://cdn.test/"},
        {"http://gallery.test:80/dir/page.html", "<a id=x href='?page=2'>", "http://gallery.test/dir/page.html?page=2"},
        {"http://gallery.test/dir/page.html", "<a id=x href='javascript:void(0)'>", "javascript:void(0)"},
        {"http://gallery.test/dir/page.html", "<a id=x href='http://[broken'>", "http://[broken"},
        {"http://gallery.test/dir/page.html", "<a id=x>", ""},
        {"http://gallery.test/dir/page.html", "<base href='http://cdn.test/img/'><a id=x href=a.jpg>",
         "http://cdn.test/img/a.jpg"},
        {"http://gallery.test/dir/page.html", "<base href='../other/'><a id=x href=a.jpg>",
         "http://gallery.test/other/a.jpg"},
        {"http://gallery.test/dir/page.html", "<base target=_blank><base href='/b/'><base href='/c/'><a id=x href=a>",
         "http://gallery.test/b/a"},
        {"http://gallery.test/dir/page.html", "<img id=x src='t/1.jpg'>", "http://gallery.test/dir/t/1.jpg"},
        {"http://gallery.test/dir/page.html", "<map><area id=x href='z.html'></map>", "http://gallery.test/dir/z.html"},
        {"/tmp/gallery/page.html", "<a id=x href='a b.jpg'>", "file:///tmp/gallery/a%20b.jpg"},
        {"file:///tmp/gallery/page.html", "<img id=x src='../t.jpg'>", "file:///tmp/t.jpg"},
        {"about:blank", "<a id=x href='rel.jpg'>", "rel.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.html);
        const auto doc = page(QString::fromUtf8(c.html), QString::fromUtf8(c.page));
        ASSERT_TRUE(byId(*doc, "x"));
        EXPECT_EQ(byId(*doc, "x")->href(), QString::fromUtf8(c.href));
    }
}

TEST(DocumentFromHtml, ImageSizesComeFromTheAttributes)
{
    const auto doc = page("<img id=a width=60 height=80><img id=b><img id=c width=abc height=' 42 '>"
                          "<img id=d width=100px height=-5><img id=e width=99999999999 height=5.9>");
    const std::vector<std::tuple<const char*, int, int>> expected = {
        {"a", 60, 80}, {"b", 0, 0}, {"c", 0, 42}, {"d", 100, 0}, {"e", 2147483647, 5}};
    for (const auto& [id, w, h] : expected) {
        SCOPED_TRACE(id);
        EXPECT_EQ(byId(*doc, id)->width(), w);
        EXPECT_EQ(byId(*doc, id)->height(), h);
    }
}

TEST(DocumentFromHtml, InputsTakeValueAndCheckedStateFromTheirAttributes)
{
    const auto doc = page("<input id=a type=checkbox name=a.jpg value='http://x.test/a.jpg' checked>"
                          "<input id=b type=checkbox name=b.jpg value=''><input id=c type=CheckBox>"
                          "<input id=d type=text><input id=e type=radio value=r>");
    EXPECT_TRUE(byId(*doc, "a")->checked());
    EXPECT_TRUE(byId(*doc, "a")->status());
    EXPECT_EQ(byId(*doc, "a")->name(), "a.jpg");
    EXPECT_EQ(byId(*doc, "a")->value(), "http://x.test/a.jpg");
    EXPECT_FALSE(byId(*doc, "b")->checked());
    EXPECT_EQ(byId(*doc, "b")->value(), "");
    EXPECT_EQ(byId(*doc, "c")->value(), "on"); // a box without a value attribute, as browsers report it
    EXPECT_EQ(byId(*doc, "d")->value(), "");
    EXPECT_EQ(byId(*doc, "e")->value(), "r");
    byId(*doc, "b")->setStatus(true);
    EXPECT_TRUE(byId(*doc, "b")->checked());
}

TEST(DocumentFromHtml, AllLinksTitleAndTheNodeOperations)
{
    const auto doc = page("<!--first--><html><head><title>\n  My   Gallery\t</title><title>Second</title></head>"
                          "<body><a href=1.html>text</a><a name=anchor>no href</a>"
                          "<a href=2.jpg><b><img src=t2.jpg></b></a><map><area href=3.html></map>"
                          "<svg><a href=4.html>svg link</a></svg></body></html>");
    EXPECT_EQ(doc->title(), "My Gallery");
    EXPECT_EQ(doc->url(), "http://gallery.test/dir/page.html");
    EXPECT_EQ(tags(*doc), (QStringList{"HTML", "HEAD", "TITLE", "TITLE", "BODY", "A", "A", "A", "B", "IMG", "MAP",
                                       "AREA", "svg", "a"}));
    EXPECT_EQ(tags(doc->links()), (QStringList{"A", "A", "AREA"}));
    EXPECT_EQ(doc->documentElement()->tagName(), "HTML");
    EXPECT_EQ(doc->documentElement()->parentNode(), nullptr);
    EXPECT_EQ(doc->documentElement()->parentElement(), nullptr);

    Element* link = doc->links()[1];
    EXPECT_EQ(link->nodeName(), "A");
    ASSERT_TRUE(link->hasChildNodes());
    Node* b = link->firstChild();
    EXPECT_EQ(b->nodeName(), "B");
    EXPECT_EQ(b->firstChild()->nodeName(), "IMG");
    EXPECT_EQ(b->firstChild()->asElement()->href(), "http://gallery.test/dir/t2.jpg");
    EXPECT_EQ(b->firstChild()->parentElement(), b->asElement());
    EXPECT_EQ(b->nextSibling(), nullptr);
    EXPECT_EQ(doc->links()[0]->firstChild()->nodeName(), "#text");
    EXPECT_EQ(doc->links()[0]->firstChild()->data(), "text");
    EXPECT_EQ(doc->links()[0]->firstChild()->asElement(), nullptr);
    EXPECT_EQ(link->ownerDocument(), doc.get());
    EXPECT_EQ(firstTag(*doc, "BODY")->children().size(), 5);
    EXPECT_EQ(page("<p>no title")->title(), "");
}

TEST(DocumentFromHtml, FramesAreReadThroughTheLoader)
{
    const QHash<QString, QString> pages = {
        {"http://gallery.test/dir/page.html",
         "<iframe src=one.html></iframe><iframe src=missing.html></iframe><iframe></iframe>"
         "<iframe src=page.html></iframe><iframe srcdoc='<a href=s.jpg>s</a>'></iframe>"},
        {"http://gallery.test/dir/one.html", "<title>One</title><iframe src=two.html></iframe>"},
        {"http://gallery.test/dir/two.html", "<title>Two</title><a href=deep.jpg>deep</a>"},
    };
    int loads = 0;
    HtmlFrameLoader loader = [&](const QString& address) -> std::shared_ptr<Document> {
        ++loads;
        const auto it = pages.find(address);
        return it == pages.end() ? nullptr : htmlDocument(*it, address, loader);
    };
    const auto doc = htmlDocument(pages["http://gallery.test/dir/page.html"], "http://gallery.test/dir/page.html", loader);
    ASSERT_EQ(doc->framesLength(), 5);
    EXPECT_EQ(doc->frame(0)->title(), "One");
    ASSERT_EQ(doc->frame(0)->framesLength(), 1);
    EXPECT_EQ(doc->frame(0)->frame(0)->links()[0]->href(), "http://gallery.test/dir/deep.jpg");
    EXPECT_THROW(doc->frame(1), Error);                      // missing
    EXPECT_EQ(doc->frame(2)->url(), "about:blank");          // no src: an empty document
    EXPECT_EQ(tags(*doc->frame(2)), (QStringList{"HTML", "HEAD", "BODY"}));
    EXPECT_THROW(doc->frame(3), Error);                      // shows the page that contains it
    EXPECT_EQ(doc->frame(4)->links()[0]->href(), "http://gallery.test/dir/s.jpg");
    EXPECT_THROW(doc->frame(5), Error);
    EXPECT_THROW(doc->frame(-1), Error);
    EXPECT_EQ(loads, 3);

    // A frame page that frames itself under ever new addresses ends at a fixed depth.
    HtmlFrameLoader endless = [&](const QString& address) {
        return htmlDocument("<iframe src='?" + address + "'></iframe>", address, endless);
    };
    auto d = htmlDocument("<iframe src=a></iframe>", "http://x.test/", endless);
    int depth = 0;
    while (d->framesLength() == 1) {
        try {
            d = d->frame(0);
        } catch (const Error&) {
            break;
        }
        ++depth;
    }
    EXPECT_LE(depth, Document::kMaxFrameDepth);

    EXPECT_EQ(page("<iframe src=one.html></iframe>")->framesLength(), 0); // no loader: no frames

    const auto frameset = htmlDocument("<frameset cols='50%,50%'><frame src=one.html><frame src=two.html></frameset>",
                                       "http://gallery.test/dir/set.html", loader);
    EXPECT_TRUE(frameset->links().empty());
    ASSERT_EQ(frameset->framesLength(), 2);
    EXPECT_EQ(frameset->frame(0)->title(), "One");
    EXPECT_EQ(frameset->frame(1)->title(), "Two");
}

TEST(HtmlSerializer, WritesAsBrowsersDo)
{
    struct Case {
        const char* html;  // the body's content
        const char* outer; // the outerHTML of the body's first element
    };
    const std::vector<Case> cases = {
        {"<DIV CLASS=A Id='b'>x</DIV>", "<div class=\"A\" id=\"b\">x</div>"},
        {"<p title='a&amp;b&nbsp;c\"d<e>'>1 &amp; 2&nbsp;&lt;3&gt; \"q\" 'a'</p>",
         "<p title=\"a&amp;b&nbsp;c&quot;d<e>\">1 &amp; 2&nbsp;&lt;3&gt; \"q\" 'a'</p>"},
        {"<div><br><img src=a.jpg alt=''><input type=checkbox checked><hr/></div>",
         "<div><br><img src=\"a.jpg\" alt=\"\"><input type=\"checkbox\" checked=\"\"><hr></div>"},
        {"<div><!--a comment-->x<!---->", "<div><!--a comment-->x<!----></div>"},
        {"<script>if (a < b && c > d) x = \"&amp;\";</script>", "<script>if (a < b && c > d) x = \"&amp;\";</script>"},
        {"<style>a > b { content: \"&\" }</style>", "<style>a > b { content: \"&\" }</style>"},
        {"<textarea>a<b & c</textarea>", "<textarea>a&lt;b &amp; c</textarea>"},
        {"<noscript><img src=\"a.jpg\" width=1></noscript>", "<noscript><img src=\"a.jpg\" width=1></noscript>"},
        {"<xmp><b>&amp;</b></xmp>", "<xmp><b>&amp;</b></xmp>"},
        {"<svg viewbox='0 0 1 1'><foreignobject><B>x</B></foreignobject><rect/><clippath></clippath></svg>",
         "<svg viewBox=\"0 0 1 1\"><foreignObject><b>x</b></foreignObject><rect></rect><clipPath></clipPath></svg>"},
        {"<svg><a xlink:href='x.html' xmlns:xlink='http://www.w3.org/1999/xlink'>t</a></svg>",
         "<svg><a xlink:href=\"x.html\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">t</a></svg>"},
        {"<my-Widget data-X=1>y</my-widget>", "<my-widget data-x=\"1\">y</my-widget>"},
        {"<td valign=bottom><a href=\"http://x.test/a.jpg\"><img border=0 alt=\"View Image: http://x.test/a.jpg\" "
         "src=http://x.test/t.jpg></a><div id=http://x.test/a.jpg ><input type=checkbox name=\"a.jpg\" "
         "value=\"http://x.test/a.jpg\"><font style=\"font-family:Arial; font-size:11px;\">&nbsp;a.jpg</font></div><br>",
         "<div id=\"http://x.test/a.jpg\"><input type=\"checkbox\" name=\"a.jpg\" value=\"http://x.test/a.jpg\">"
         "<font style=\"font-family:Arial; font-size:11px;\">&nbsp;a.jpg</font></div>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.html);
        const auto doc = page("<body>" + QString::fromUtf8(c.html));
        const Element* body = firstTag(*doc, "BODY");
        Element* first = body->children().value(0);
        if (QString::fromUtf8(c.html).startsWith("<td"))
            first = firstTag(*doc, "DIV");
        ASSERT_TRUE(first);
        EXPECT_EQ(first->outerHTML(), QString::fromUtf8(c.outer));
    }
}

TEST(HtmlSerializer, WritesTheTitleElementWithItsTags)
{
    const auto doc = page("<title>A &amp; B</title>");
    EXPECT_EQ(firstTag(*doc, "TITLE")->outerHTML(), "<title>A &amp; B</title>");
    EXPECT_EQ(doc->title(), "A & B");
    EXPECT_EQ(doc->documentElement()->outerHTML(), "<html><head><title>A &amp; B</title></head><body></body></html>");
}

TEST(HtmlSerializer, TextIsFoundInTheMarkupWithoutWritingIt)
{
    // Each case: the body's content and a text appended afterwards as a node of its own.
    const struct {
        const char* html;
        const char* appended;
    } cases[] = {
        {"<a><img src=t.jpg></a>", ""},
        {"<a><IMG SRC=t.jpg></a>", ""},
        {"<a>no picture</a>", ""},
        {"<a title='an img'>x</a>", ""},
        {"<a><!--Img--></a>", ""},
        {"<a><svg><image href=x.png /></svg></a>", ""},
        {"<a>I&amp;MG and i&lt;mg</a>", ""},
        {"<a>a picture: i</a>", "mg"},   // across two text nodes
        {"<a>a picture: im</a>", "g"},
        {"<a>i</a>", "<b>mg</b>"},      // markup between: no match
        {"<a>im</a>", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        const auto doc = page(QStringLiteral("<body>") + QString::fromUtf8(c.html));
        Element* body = firstTag(*doc, "BODY");
        if (*c.appended)
            body->setInnerHTML(body->innerHTML() + QString::fromUtf8(c.appended));
        const bool expected = body->innerHTML().toUpper().contains(QStringLiteral("IMG"));
        EXPECT_EQ(body->innerHTMLContains(QLatin1StringView("IMG")), expected) << body->innerHTML().toStdString();
    }
}

TEST(InnerHtmlWrite, ReplacesChildrenAndKeepsAllInStep)
{
    struct Case {
        const char* html;    // the body's content
        const char* target;  // id of the element written
        const char* text;    // the new innerHTML
        const char* inner;   // innerHTML read back
    };
    const std::vector<Case> cases = {
        {"<div id=t><p>old<p>old</div><span>after</span>", "t", "<b>new</b><i>x</i>", "<b>new</b><i>x</i>"},
        {"<div id=t><p>old</div><span>after</span>", "t", "", ""},
        {"<div id=t></div>", "t", "<p>a<p>b", "<p>a</p><p>b</p>"},
        {"<table><tr id=t><td>old</td></tr></table>", "t", "<td>1<td>2", "<td>1</td><td>2</td>"},
        {"<table id=t><tr><td>old</td></tr></table>", "t", "<tr><td>x", "<tbody><tr><td>x</td></tr></tbody>"},
        {"<select id=t><option>a</select>", "t", "<option>1<option>2<div>no</div>", "<option>1</option><option>2no</option>"},
        {"<div id=t>x</div>", "t", "<table><td>c</table>", "<table><tbody><tr><td>c</td></tr></tbody></table>"},
        {"<script id=t>old</script>", "t", "<b>raw</b>", "<b>raw</b>"},
        {"<noscript id=t></noscript>", "t", "<img src=a>", "<img src=a>"},
        {"<div><div id=t><a href=1><img src=1></a></div></div><p>tail</p>", "t", "<a href=2>only text</a>",
         "<a href=\"2\">only text</a>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.html) + " <- " + c.text);
        const auto doc = page(QString::fromUtf8(c.html));
        Element* t = byId(*doc, c.target);
        ASSERT_TRUE(t);
        t->setInnerHTML(QString::fromUtf8(c.text));
        EXPECT_EQ(t->innerHTML(), QString::fromUtf8(c.inner));
        expectAllMatchesTree(*doc);
    }
}

TEST(InnerHtmlWrite, TextThatAddsToTheCurrentOneIsAppended)
{
    const auto doc = page("<table><tr><td><div id=d><input type=checkbox name=a.jpg value=a>"
                          "<font>&nbsp;a.jpg</font></div><br></td><td><div id=e>second</div></td></tr></table>");
    Element* div = byId(*doc, "d");
    Element* box = firstTag(*doc, "INPUT");
    Element* font = firstTag(*doc, "FONT");
    box->setStatus(true);
    const QString size = "<font style=\"font-size:11px;\">&nbsp;&nbsp;12 kB </font>";
    div->setInnerHTML(div->innerHTML() + size);

    EXPECT_EQ(div->innerHTML(), "<input type=\"checkbox\" name=\"a.jpg\" value=\"a\"><font>&nbsp;a.jpg</font>" + size);
    EXPECT_EQ(div->firstChild(), box); // the same element, still checked
    EXPECT_TRUE(box->checked());
    EXPECT_EQ(box->nextSibling(), font);
    expectAllMatchesTree(*doc);
    EXPECT_EQ(tags(*doc).mid(3), (QStringList{"TABLE", "TBODY", "TR", "TD", "DIV", "INPUT", "FONT", "FONT", "BR", "TD", "DIV"}));

    // Writing the same text again changes nothing; a text that does not begin so replaces.
    div->setInnerHTML(div->innerHTML());
    EXPECT_EQ(div->firstChild(), box);
    div->setInnerHTML("<input type=checkbox>");
    EXPECT_NE(div->firstChild(), box);
    EXPECT_FALSE(div->firstChild()->asElement()->checked());
    EXPECT_EQ(box->parentNode(), nullptr); // removed, but still a valid object
    EXPECT_TRUE(box->checked());
    expectAllMatchesTree(*doc);
}

TEST(InnerHtmlWrite, ManyWritesKeepAllInStep)
{
    QString html = "<table><tr>";
    for (int i = 0; i < 50; ++i)
        html += QStringLiteral("<td><a href=%1.jpg><img src=t%1.jpg></a><div id=d%1><input type=checkbox>%1</div></td>").arg(i);
    const auto doc = page(html + "</tr></table>");
    for (int i = 49; i >= 0; i -= 3) {
        Element* d = byId(*doc, QStringLiteral("d%1").arg(i));
        d->setInnerHTML(d->innerHTML() + QStringLiteral("<font>&nbsp;%1 kB </font>").arg(i));
    }
    for (int i = 1; i < 50; i += 7)
        byId(*doc, QStringLiteral("d%1").arg(i))->setInnerHTML("<b><i>x</i></b>");
    expectAllMatchesTree(*doc);

    // Writes all over the page, on elements written before and on removed ones.
    std::vector<Element*> written;
    unsigned seed = 7;
    for (int round = 0; round < 400; ++round) {
        seed = seed * 1103515245 + 12345;
        const auto& all = doc->all();
        Element* e = (seed >> 8) % 5 == 0 && !written.empty() ? written[(seed >> 12) % written.size()]
                                                              : all[(seed >> 12) % all.size()];
        if (e->tagName() == "HTML" || e->tagName() == "BODY" || e->tagName() == "TABLE" || e->tagName() == "TBODY")
            continue;
        if ((seed >> 4) % 2)
            e->setInnerHTML(e->innerHTML() + "<i>+</i>");
        else
            e->setInnerHTML("<b><u>" + QString::number(round) + "</u></b>");
        written.push_back(e);
        if (round % 50 == 0)
            EXPECT_EQ(doc->all(), treeElements(*doc)) << round;
    }
    EXPECT_EQ(doc->all(), treeElements(*doc)); // (the tree may now hold what no parse gives: text in an IMG)
}

TEST(InnerHtmlWrite, AWriteOnARemovedElementLeavesAllAlone)
{
    const auto doc = page("<div id=outer><div id=inner>x</div></div><p>after</p>");
    Element* inner = byId(*doc, "inner");
    byId(*doc, "outer")->setInnerHTML("<span>new</span>");
    const QStringList before = tags(*doc);
    inner->setInnerHTML("<b>in a removed tree</b>");
    EXPECT_EQ(inner->innerHTML(), "<b>in a removed tree</b>");
    EXPECT_EQ(tags(*doc), before);
    expectAllMatchesTree(*doc);
}
