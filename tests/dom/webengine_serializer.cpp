// The serializer in a real browser page: the document built from its JSON agrees with the one built
// from the page's text and with what the browser itself holds, and the writes reach the page.

#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "dom/SerializerScript.h"
#include "core/Error.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include <QFile>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

using namespace pxt;
using namespace pxt::test;

namespace {

class PageChannel : public LiveChannel {
public:
    explicit PageChannel(QWebEnginePage* page) : m_page(page) {}
    void run(const QString& script) override
    {
        ++scripts;
        m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld);
    }
    // With a reader the page parses what is written and hands it back, as the program's views do.
    bool readsBack() const override { return bool(reader); }
    QString runAndRead(const QString& script) override { return reader(script); }
    int scripts = 0;
    std::function<QString(const QString&)> reader;

private:
    QWebEnginePage* m_page;
};

class BrowserPage {
public:
    BrowserPage()
    {
        m_view.resize(1000, 800);
        m_view.show();
        QObject::connect(m_view.page(), &QWebEnginePage::loadFinished, [this](bool) { ++m_loads; });
    }

    void load(const QUrl& url)
    {
        const int before = m_loads;
        m_view.load(url);
        ASSERT_TRUE(waitUntil([&] { return m_loads > before; }, 30000));
    }

    QVariant run(const QString& script, quint32 world = QWebEngineScript::MainWorld)
    {
        struct Result {
            bool done = false;
            QVariant value;
        };
        auto result = std::make_shared<Result>();
        m_view.page()->runJavaScript(script, world, [result](const QVariant& v) {
            result->value = v;
            result->done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return result->done; }, 60000));
        return result->value;
    }

    QByteArray serialize()
    {
        const QVariant v = run(serializerScript(), QWebEngineScript::ApplicationWorld);
        EXPECT_EQ(v.typeId(), QMetaType::QString);
        return v.toString().toUtf8();
    }

    // Markup written where the channel does not read back is parsed here, as on the test view's pages.
    std::shared_ptr<Document> read(std::shared_ptr<LiveChannel> channel = {})
    {
        auto doc = Document::fromJson(serialize(), std::move(channel));
        parseWritesWithGumbo(*doc);
        return doc;
    }

    QWebEnginePage* page() { return m_view.page(); }

private:
    QWebEngineView m_view;
    int m_loads = 0;
};

QString fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

std::shared_ptr<Document> fromFixtureFile(const QString& name)
{
    const HtmlFrameLoader loader = [&loader](const QString& address) -> std::shared_ptr<Document> {
        const QString path = QUrl(address).toLocalFile();
        if (!QFile::exists(path))
            return nullptr;
        return htmlDocument(fileText(path), address, loader);
    };
    const QString url = QUrl::fromLocalFile(fixturePath(name)).toString(QUrl::FullyEncoded);
    return htmlDocument(fileText(fixturePath(name)), url, loader);
}

void expectSameElements(const Document& fromText, const Document& fromPage)
{
    EXPECT_EQ(fromText.title(), fromPage.title());
    EXPECT_EQ(fromText.url(), fromPage.url());
    EXPECT_EQ(fromText.links().size(), fromPage.links().size());
    ASSERT_EQ(fromText.all().size(), fromPage.all().size());
    for (size_t i = 0; i < fromText.all().size(); ++i) {
        const Element* t = fromText.all()[i];
        const Element* p = fromPage.all()[i];
        SCOPED_TRACE(t->outerHTML().left(200).toStdString());
        ASSERT_EQ(t->tagName(), p->tagName());
        EXPECT_EQ(t->attributes().size(), p->attributes().size());
        EXPECT_EQ(t->href(), p->href());
        if (t->tagName() == "IMG" && t->hasAttribute("width")) {
            EXPECT_EQ(t->width(), p->width());
            EXPECT_EQ(t->height(), p->height());
        }
        EXPECT_EQ(t->value(), p->value());
        EXPECT_EQ(t->checked(), p->checked());
    }
}

} // namespace

TEST(Serializer, AgreesWithTheDocumentBuiltFromText)
{
    BrowserPage browser;
    browser.load(QUrl::fromLocalFile(fixturePath("document_gallery.html")));
    const QByteArray json = browser.serialize();
    if (const QByteArray out = qgetenv("PXT_WRITE_SERIALIZER_OUTPUT"); !out.isEmpty()) {
        QFile f(QString::fromLocal8Bit(out));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(json);
    }
    const auto fromPage = Document::fromJson(json);
    const auto fromText = fromFixtureFile("document_gallery.html");
    expectSameElements(*fromText, *fromPage);

    // The HTML writer writes what the browser writes, for both builds.
    const QString browserHtml = browser.run("document.documentElement.outerHTML").toString();
    EXPECT_EQ(fromPage->documentElement()->outerHTML(), browserHtml);
    EXPECT_EQ(fromText->documentElement()->outerHTML(), browserHtml);

    // Frames: the same-origin frame and its own frame are read, the other origin is not.
    ASSERT_EQ(fromPage->framesLength(), 2);
    ASSERT_EQ(fromText->framesLength(), 2);
    expectSameElements(*fromText->frame(0), *fromPage->frame(0));
    ASSERT_EQ(fromPage->frame(0)->framesLength(), 1);
    expectSameElements(*fromText->frame(0)->frame(0), *fromPage->frame(0)->frame(0));
    EXPECT_THROW(fromPage->frame(1), Error);
}

TEST(Serializer, ElementsNamedLikeDomPropertiesDoNotMisleadIt)
{
    BrowserPage browser;
    browser.load(QUrl::fromLocalFile(fixturePath("document_clobber.html")));
    auto channel = std::make_shared<PageChannel>(browser.page());
    const auto fromPage = browser.read(channel);
    expectSameElements(*fromFixtureFile("document_clobber.html"), *fromPage);
    EXPECT_EQ(fromPage->title(), "Shadowed names");

    Element* form = nullptr;
    for (Element* e : fromPage->all())
        if (e->tagName() == "FORM")
            form = e;
    ASSERT_TRUE(form);
    form->setInnerHTML(form->innerHTML() + "<b>appended</b>");
    form->children().last()->setInnerHTML("<i>written</i>");
    EXPECT_EQ(browser.run("document.forms[0].lastElementChild.outerHTML").toString(), "<b><i>written</i></b>");
}

// The writes of a read, with the new elements parsed here (the test view's way) or by the page.
void writesReachTheVeryElementsOfThePage(bool readBack)
{
    BrowserPage browser;
    browser.load(QUrl::fromLocalFile(fixturePath("document_gallery.html")));
    auto channel = std::make_shared<PageChannel>(browser.page());
    if (readBack)
        channel->reader = [&](const QString& script) {
            return browser.run(script, QWebEngineScript::ApplicationWorld).toString();
        };
    auto doc = browser.read(channel);

    std::vector<Element*> boxes;
    for (Element* e : doc->all())
        if (e->tagName() == "INPUT" && e->getAttribute("type") == "checkbox")
            boxes.push_back(e);
    ASSERT_EQ(boxes.size(), 3u);
    boxes[0]->setStatus(false);
    boxes[1]->setStatus(true);
    boxes[2]->setStatus(true);

    Element* probe = nullptr;
    for (Element* e : doc->all())
        if (e->id() == "probe")
            probe = e;
    ASSERT_TRUE(probe);
    const QString size = "<font style=\"font-family:Arial; font-size:11px;\">&nbsp;&nbsp;12 kB </font>";
    probe->setInnerHTML(probe->innerHTML() + size); // appended: the checked box stays checked

    // A replaced content gets new elements, and writes on those reach the page too.
    Element* h1 = doc->all()[0];
    for (Element* e : doc->all())
        if (e->tagName() == "H1")
            h1 = e;
    h1->setInnerHTML("<span id=a>A</span><span id=b><input type=checkbox id=c></span>");
    Element* span = h1->children().at(1);
    span->setInnerHTML(span->innerHTML() + "<i>more</i>");
    span->children().at(0)->setStatus(true);

    const auto again = browser.read();
    ASSERT_EQ(doc->all().size(), again->all().size());
    for (size_t i = 0; i < doc->all().size(); ++i) {
        EXPECT_EQ(doc->all()[i]->tagName(), again->all()[i]->tagName());
        EXPECT_EQ(doc->all()[i]->checked(), again->all()[i]->checked()) << i;
    }
    EXPECT_EQ(doc->documentElement()->outerHTML(), again->documentElement()->outerHTML());
    EXPECT_EQ(browser.run("document.querySelector('#probe input').checked").toBool(), true);
    EXPECT_EQ(browser.run("document.querySelector('#c').checked").toBool(), true);
    EXPECT_EQ(browser.run("document.querySelector('#probe').innerHTML").toString(), probe->innerHTML());

    // A dropped snapshot takes no more writes.
    const int sent = channel->scripts;
    doc.reset();
    EXPECT_EQ(channel->scripts, sent + 3); // the page and its two readable frames
    // The handles live in the program's own world, out of the page scripts' reach.
    EXPECT_EQ(browser.run("typeof globalThis.__pxt").toString(), "undefined");
}

TEST(Serializer, WritesReachTheVeryElementsOfThePage)
{
    for (const bool readBack : {false, true}) {
        SCOPED_TRACE(readBack ? "the page's parse read back" : "parsed here");
        writesReachTheVeryElementsOfThePage(readBack);
    }
}

TEST(Serializer, MarkupWrittenToALivePageIsTheBrowsersParse)
{
    BrowserPage browser;
    browser.load(QUrl::fromLocalFile(fixturePath("document_gallery.html")));
    auto channel = std::make_shared<PageChannel>(browser.page());
    channel->reader = [&](const QString& script) {
        return browser.run(script, QWebEngineScript::ApplicationWorld).toString();
    };
    auto doc = browser.read(channel);
    Element* probe = nullptr;
    for (Element* e : doc->all())
        if (e->id() == "probe")
            probe = e;
    ASSERT_TRUE(probe);
    // Markup that an HTML library's parser of its own gives up on (an assertion in the one of this
    // system), and a table the browser rearranges.
    for (const QString& text : {QStringLiteral("<table><svg><select><title><select><tr>"),
                                QStringLiteral("<table><b>x</b><tr><td>cell<input type=checkbox></table>")}) {
        SCOPED_TRACE(text.toStdString());
        probe->setInnerHTML(probe->innerHTML() + text);
        const auto again = browser.read();
        ASSERT_EQ(doc->all().size(), again->all().size());
        for (size_t i = 0; i < doc->all().size(); ++i)
            EXPECT_EQ(doc->all()[i]->tagName(), again->all()[i]->tagName()) << i;
        EXPECT_EQ(probe->innerHTML(), browser.run("document.querySelector('#probe').innerHTML").toString());
    }
    // The new elements take writes like the others.
    Element* box = nullptr;
    for (Element* e : doc->all())
        if (e->tagName() == "INPUT" && e->parentElement() && e->parentElement()->tagName() == "TD")
            box = e;
    ASSERT_TRUE(box);
    box->setStatus(true);
    EXPECT_EQ(browser.run("document.querySelector('#probe td input').checked").toBool(), true);
}

TEST(Serializer, ReadsTreesDeeperThanTheCallStack)
{
    BrowserPage browser;
    browser.load(QUrl::fromLocalFile(fixturePath("document_frame2.html")));
    // Deeper than any JavaScript call stack; the browser itself takes time quadratic in the depth to
    // build it (every insertion walks the new parent's ancestors), hence not 100,000 here.
    browser.run("(() => { const hidden = document.createElement('div'); let e = hidden;"
                "  for (let i = 0; i < 20000; i++) { const c = document.createElement(i % 2 ? 'span' : 'b');"
                "    e.appendChild(c); e = c; } e.textContent = 'leaf';"
                "  hidden.style.display = 'none'; document.body.appendChild(hidden); })()");
    const auto doc = browser.read();
    EXPECT_GT(doc->all().size(), 20000u);
    EXPECT_EQ(doc->all().back()->tagName(), "SPAN");
    EXPECT_EQ(doc->all().back()->firstChild()->data(), "leaf");
    const QString html = doc->documentElement()->outerHTML();
    EXPECT_TRUE(html.contains("<b><span>leaf</span></b>"));
    EXPECT_TRUE(html.endsWith("</b></span></b></div></body></html>"));
}

// The read a harvest makes holds the title element, the meta elements that name a referrer policy and
// the links with what lies inside them, as the whole read has them, in document order; every link of
// the page is among them.
TEST(Serializer, TheHarvestsReadHoldsTheTitleAndTheLinksWithWhatLiesInside)
{
    const QStringList pages{
        // Links around pictures, an empty one, an AREA, an SVG link (no link of the harvest's), text
        // and other elements around them.
        QStringLiteral("<title>Links <b>x</b></title><p>before <a href=a.jpg><img src=t.png width=5>"
                       "<span>one</span></a> <a href=e.html></a><map><area href=m.jpg></map>"
                       "<svg><a href=s.jpg><text>s</text></a></svg><a name=anchor>no href</a>"
                       "<div><a href=z.jpg>last</a></div>"),
        // The title behind the links, a link inside another (made by a script), no title at all.
        QStringLiteral("<a href=1.jpg id=outer>1</a><a href=2.jpg>2</a><title>late</title>"
                       "<script>document.getElementById('outer').append(Object.assign("
                       "document.createElement('a'), {href: 'inner.jpg', textContent: 'in'}))</script>"),
        QStringLiteral("<p>no links here</p>"),
        // The page's referrer policy, in the head and behind a link; other meta elements stay out.
        QStringLiteral("<meta name=\"Referrer\" content=origin><meta name=viewport content=x><title>m</title>"
                       "<a href=1.jpg>1</a><meta name=referrer content=unsafe-url><a href=2.jpg>2</a>"),
    };
    QTemporaryDir dir;
    for (const QString& html : pages) {
        SCOPED_TRACE(html.toStdString());
        const QString path = dir.filePath(QStringLiteral("page.html"));
        writeFile(path, html.toUtf8());
        BrowserPage browser;
        browser.load(QUrl::fromLocalFile(path));
        const auto whole = browser.read();
        const QVariant shaped = browser.run(serializerFunction() + QStringLiteral("({handles: false, links: true})"),
                                            QWebEngineScript::ApplicationWorld);
        const auto links = Document::fromJson(shaped.toString().toUtf8());

        // What the whole read holds of the same: the first title, the links not inside another link.
        QStringList expected;
        const Element* inside = nullptr;
        bool title = false;
        for (const Element* e : whole->all()) {
            const bool isLink = (e->tagName() == "A" || e->tagName() == "AREA") && e->hasAttribute("href");
            bool within = false;
            for (const Element* up = e->parentElement(); up; up = up->parentElement())
                within = within || up == inside;
            if (within)
                continue; // written with the link around it
            const bool isPolicy = e->tagName() == "META" && e->getAttribute("name").toLower() == "referrer";
            if (isLink || isPolicy || (e->tagName() == "TITLE" && !title)) {
                expected << e->outerHTML();
                title = title || e->tagName() == "TITLE";
                if (isLink)
                    inside = e;
            }
        }
        QStringList got;
        for (const Node* n = links->documentElement(); n; n = n->nextSibling())
            got << n->asElement()->outerHTML();
        EXPECT_EQ(got, expected);
        EXPECT_EQ(links->title(), whole->title());
        QStringList wholeLinks, shapedLinks;
        for (const Element* e : whole->links())
            wholeLinks << e->href();
        for (const Element* e : links->links())
            shapedLinks << e->href();
        EXPECT_EQ(shapedLinks, wholeLinks);
    }
}

// What a harvest reads also tells, for a link without an IMG, the first element drawn with a CSS
// background picture (from the page's style sheet, as laid out), and brings the pictures outside links
// that name their full picture.
TEST(Serializer, TheHarvestsReadTellsBackgroundsAndPicturesWithoutALink)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.html"));
    writeFile(path, "<style>.card{display:block;width:160px;height:120px;background:#333 url(t1.png) center/cover}"
                    ".tile{display:block;width:150px;height:100px;"
                    "background-image:linear-gradient(red,blue),url(\"t3.png\")}</style>"
                    "<a href=big1.jpg><div class=card><span>Harbour</span></div></a>"
                    "<a href=big2.jpg class=card>2</a>"
                    "<a href=big3.jpg><span>three</span><span class=tile></span></a>"
                    "<a href=big4.jpg><img src=t4.png width=50 height=40><div class=card></div></a>"
                    "<div class=card></div>"
                    "<p><img src=t5.png data-full=full5.jpg width=120 height=90></p>");
    BrowserPage browser;
    browser.load(QUrl::fromLocalFile(path));
    const QVariant shaped = browser.run(serializerFunction() + QStringLiteral("({handles: false, links: true})"),
                                        QWebEngineScript::ApplicationWorld);
    const auto doc = Document::fromJson(shaped.toString().toUtf8());
    const QString folder = QUrl::fromLocalFile(dir.path()).toString() + QLatin1Char('/');
    QStringList drawn;
    for (const Element* e : doc->all()) {
        if (!e->backgroundImage().isEmpty())
            drawn << QStringLiteral("%1 %2x%3 %4")
                         .arg(e->tagName())
                         .arg(e->width())
                         .arg(e->height())
                         .arg(QString(e->backgroundImage()).remove(folder));
    }
    EXPECT_EQ(drawn, QStringList({"DIV 160x120 t1.png", "A 160x120 t1.png", "SPAN 150x100 t3.png"}));
    QStringList links;
    for (const Element* e : doc->links())
        links << QString(e->href()).remove(folder);
    EXPECT_EQ(links, QStringList({"big1.jpg", "big2.jpg", "big3.jpg", "big4.jpg"}));
    QStringList pictures;
    for (const Element* e : doc->all())
        if (e->tagName() == "IMG")
            pictures << QString(e->href()).remove(folder) + QLatin1Char(' ') + e->getAttribute("data-full");
    EXPECT_EQ(pictures, QStringList({"t4.png ", "t5.png full5.jpg"}));
}
