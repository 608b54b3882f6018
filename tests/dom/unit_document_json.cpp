// The document model built from the serializer's JSON: real serializer output, the writes sent to
// the live page, malformed and hostile input, and trees deeper than any stack.

#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "core/Error.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include <QJsonArray>
#include <QJsonDocument>

using namespace pxt;
using namespace pxt::test;

namespace {

class RecordingChannel : public LiveChannel {
public:
    void run(const QString& script) override { scripts << script; }
    QStringList scripts;
};

// document_gallery.json is what the serializer returned for document_gallery.html (snapshot id 965733467).
const QString kSnapshot = QStringLiteral("965733467");

// Markup written into it is parsed here, as on the test view's pages: the recording channels do not
// read back.
std::shared_ptr<Document> gallery(std::shared_ptr<LiveChannel> channel = {})
{
    auto doc = Document::fromJson(readFixture("document_gallery.json"), std::move(channel));
    parseWritesWithGumbo(*doc);
    return doc;
}

int indexOf(const Document& doc, const Element* e)
{
    const auto& all = doc.all();
    return int(std::find(all.begin(), all.end(), e) - all.begin());
}

Element* byId(const Document& doc, const QString& id)
{
    for (Element* e : doc.all())
        if (e->id() == id)
            return e;
    return nullptr;
}

// The text argument of a write script, decoded as the page's JavaScript would read it.
QString scriptText(const QString& script)
{
    const qsizetype from = script.indexOf(QLatin1Char('"'));
    const QByteArray literal = script.mid(from, script.size() - from - 1).toUtf8();
    return QJsonDocument::fromJson("[" + literal + "]").array().at(0).toString();
}

} // namespace

TEST(DocumentFromJson, HoldsWhatTheBrowserReported)
{
    const auto doc = gallery();
    EXPECT_EQ(doc->title(), "Sunset Gallery & More");
    EXPECT_EQ(doc->url(), "file:///work/main/tests/fixtures/document_gallery.html");
    EXPECT_EQ(doc->all().size(), 55u);
    EXPECT_EQ(doc->documentElement()->tagName(), "HTML");

    const auto links = doc->links();
    ASSERT_EQ(links.size(), 8u); // A and AREA with href; the svg link and the named anchor are none
    EXPECT_EQ(links[0]->href(), "file:///work/main/tests/fixtures/big/1.jpg");
    EXPECT_EQ(links[7]->tagName(), "AREA");
    EXPECT_EQ(links[5]->href(), "http://other.test/x.html"); // sent as "the same as the attribute"
    Node* b = links[1]->firstChild();
    ASSERT_EQ(b->nodeName(), "B");
    Element* img = b->firstChild()->asElement();
    ASSERT_TRUE(img);
    EXPECT_EQ(img->nodeName(), "IMG");
    EXPECT_EQ(img->width(), 80);
    EXPECT_EQ(img->height(), 50);
    EXPECT_EQ(img->href(), "file:///work/main/tests/fixtures/thumbs/2.jpg");
    EXPECT_EQ(img->parentElement(), b->asElement());

    std::vector<Element*> inputs;
    for (Element* e : doc->all())
        if (e->tagName() == "INPUT")
            inputs.push_back(e);
    ASSERT_EQ(inputs.size(), 4u);
    EXPECT_TRUE(inputs[0]->checked());
    EXPECT_EQ(inputs[0]->name(), "1.jpg");
    EXPECT_EQ(inputs[0]->value(), "big/1.jpg");
    EXPECT_FALSE(inputs[1]->status());
    EXPECT_EQ(inputs[2]->value(), "typed & kept");

    const Element* svg = nullptr;
    for (Element* e : doc->all())
        if (e->localName() == "svg")
            svg = e;
    ASSERT_TRUE(svg);
    EXPECT_EQ(svg->tagName(), "svg");
    EXPECT_EQ(svg->outerHTML(), "<svg width=\"20\" height=\"20\" viewBox=\"0 0 20 20\"><circle cx=\"10\" cy=\"10\" "
                                "r=\"5\"></circle><a href=\"svg.html\"><text>t</text></a></svg>");
}

TEST(DocumentFromJson, FramesNestAndAnUnreadableFrameThrowsItsReason)
{
    const auto doc = gallery();
    ASSERT_EQ(doc->framesLength(), 2);
    const auto one = doc->frame(0);
    EXPECT_EQ(one->title(), "Frame One");
    EXPECT_EQ(one->links()[0]->href(), "file:///work/main/tests/fixtures/f/1.jpg");
    ASSERT_EQ(one->framesLength(), 1);
    EXPECT_EQ(one->frame(0)->title(), "Frame Two");
    EXPECT_EQ(one->frame(0)->all().size(), 6u);
    try {
        doc->frame(1);
        FAIL() << "an unreadable frame was read";
    } catch (const Error& e) {
        EXPECT_TRUE(e.text().contains("cross-origin frame")) << e.text().toStdString();
    }
    EXPECT_THROW(doc->frame(2), Error);
}

TEST(LiveDocument, WritesGoToThePageInOrderAndNameTheirElements)
{
    auto channel = std::make_shared<RecordingChannel>();
    auto doc = gallery(channel);
    Element* box = nullptr;
    for (Element* e : doc->all())
        if (e->tagName() == "INPUT" && !box)
            box = e;
    box->setStatus(false);
    box->setStatus(false); // sent again: the user may have clicked the box since the read
    const QString boxHandle = QString::number(indexOf(*doc, box));
    ASSERT_EQ(channel->scripts.size(), 2);
    EXPECT_EQ(channel->scripts[0], "globalThis.__pxt&&__pxt.check(" + kSnapshot + "," + boxHandle + ",false)");
    EXPECT_FALSE(box->checked());

    // An append names its new elements after the last handle of the read, in document order.
    Element* probe = byId(*doc, "probe");
    const int count = int(doc->all().size());
    const QString size = "<font style=\"x\">&nbsp;&nbsp;12 kB </font><b><i>new</i></b>";
    probe->setInnerHTML(probe->innerHTML() + size);
    ASSERT_EQ(channel->scripts.size(), 3);
    EXPECT_TRUE(channel->scripts[2].startsWith(
        "globalThis.__pxt&&__pxt.append(" + kSnapshot + "," + QString::number(indexOf(*doc, probe)) + ",\""));
    EXPECT_EQ(scriptText(channel->scripts[2]), size);
    Element* italic = probe->children().at(3)->children().at(0);
    ASSERT_EQ(italic->tagName(), "I");
    italic->setInnerHTML("replaced");
    EXPECT_TRUE(channel->scripts[3].startsWith(
        "globalThis.__pxt&&__pxt.html(" + kSnapshot + "," + QString::number(count + 2) + ",\""));

    // A hostile text stays one string literal.
    const QString hostile = "\"); alert(1); (\"\\ </script>\n\u2028'`${x}`";
    italic->setInnerHTML(hostile);
    EXPECT_EQ(scriptText(channel->scripts.last()), hostile);
    EXPECT_EQ(channel->scripts.last().count('\n'), 0);

    // New links resolve against the page's base.
    probe->setInnerHTML("<a href=rel.jpg>x</a>");
    EXPECT_EQ(probe->children().at(0)->href(), "file:///work/main/tests/fixtures/rel.jpg");

    // Destroying the documents lets the page forget their handles.
    channel->scripts.clear();
    doc.reset();
    EXPECT_EQ(channel->scripts.size(), 3);
    EXPECT_EQ(channel->scripts[0], "globalThis.__pxt&&__pxt.drop(" + kSnapshot + ")");
}

// A channel whose page answers the change reads with the texts given, one after the other.
class ReportingChannel : public RecordingChannel {
public:
    bool readsBack() const override { return true; }
    QString runAndRead(const QString& script) override
    {
        asked << script;
        return answers.isEmpty() ? QStringLiteral("null") : answers.takeFirst();
    }
    QStringList asked;
    QStringList answers;
};

TEST(LiveDocument, RefreshTakesThePagesChangesAndAsksForImagesOnlyWhenOneIsRead)
{
    // A div, a box and a picture, handles 0 to 2.
    const QByteArray json = R"({"v":2,"id":7,"url":"file:///t.html","title":"t","nodes":[)"
                            R"(-1,2,"div",0, 0,5,"input",0,0,"a", 0,3,"img",0,40,30,"file:///a.png"]})";
    auto channel = std::make_shared<ReportingChannel>();
    auto doc = Document::fromJson(json, channel);
    Element* box = doc->all()[1];
    Element* img = doc->all()[2];

    channel->answers = {R"([5,1,1,"b"])", R"([3,2,80,60,"file:///b.png", 3,9,1,1,"x"])"};
    ASSERT_TRUE(doc->refresh());
    EXPECT_TRUE(box->checked());
    EXPECT_EQ(box->value(), "b");
    ASSERT_EQ(channel->asked.size(), 1);
    EXPECT_EQ(channel->asked[0], "globalThis.__pxt?__pxt.changes(7,1):'null'");
    EXPECT_EQ(box->name(), ""); // reading inputs asks nothing more
    ASSERT_EQ(channel->asked.size(), 1);
    EXPECT_EQ(img->width(), 80); // (an unknown handle in the answer is passed over)
    EXPECT_EQ(img->height(), 60);
    EXPECT_EQ(img->href(), "file:///b.png");
    ASSERT_EQ(channel->asked.size(), 2);
    EXPECT_EQ(channel->asked[1], "globalThis.__pxt?__pxt.changes(7,2):'null'");

    // A change that does not fit the element it names is passed over.
    channel->answers = {R"([3,1,5,5,"file:///c.png", 5,2,1,"y"])"};
    ASSERT_TRUE(doc->refresh());
    EXPECT_EQ(box->value(), "b");
    EXPECT_EQ(img->width(), 80); // the image read after this refresh: "null", the views stay

    // The page cannot tell what changed: read it afresh.
    channel->answers = {QStringLiteral("null")};
    EXPECT_FALSE(doc->refresh());

    // A report that cannot be read is an error, never a guess.
    for (const char* bad : {"{}", "[5,1]", "[7,1,1,\"v\"]", "[5,-1,1,\"v\"]", "[5,1,1,\"v\"", "[5,1,1,0]"}) {
        SCOPED_TRACE(bad);
        channel->answers = {QString::fromLatin1(bad)};
        EXPECT_THROW(doc->refresh(), Error);
    }

    // A document read from text has no page to ask.
    EXPECT_FALSE(htmlDocument("<input>", "file:///t.html")->refresh());
}

// While a write waits for the page, the window's events run, and one of them may let the document go
// (the probe starting over on a new page): the write still ends on a document that is there.
TEST(LiveDocument, AWriteKeepsItsDocumentUntilThePageHasAnswered)
{
    class DroppingChannel : public ReportingChannel {
    public:
        QString runAndRead(const QString& script) override
        {
            if (onAnswer)
                std::exchange(onAnswer, nullptr)();
            return ReportingChannel::runAndRead(script);
        }
        std::function<void()> onAnswer;
    };
    const QByteArray json = R"({"v":2,"id":7,"url":"file:///t.html","title":"t","nodes":[-1,2,"div",0]})";
    auto channel = std::make_shared<DroppingChannel>();
    std::shared_ptr<Document> doc = Document::fromJson(json, channel);
    const std::weak_ptr<Document> watched = doc;
    Element* div = doc->all()[0];
    channel->answers = {QStringLiteral(R"({"first":1,"nodes":[]})")};
    channel->onAnswer = [&] { doc.reset(); };
    div->setInnerHTML(div->innerHTML() + QStringLiteral("<b>3 kB</b>"));
    EXPECT_TRUE(watched.expired()) << "the write let its document go when it was done";
}

TEST(LiveDocument, ADocumentWithoutChannelOrHandlesSendsNothing)
{
    auto channel = std::make_shared<RecordingChannel>();
    auto doc = Document::fromJson(R"({"nodes":[-1,5,"input",0,1,"v"]})", channel);
    doc->all()[0]->setStatus(false); // no snapshot id: the page keeps no handles
    doc.reset();
    EXPECT_TRUE(channel->scripts.isEmpty());
    EXPECT_FALSE(Document::fromJson(R"({"nodes":[-1,5,"input",0,1,"v"]})")->all()[0]->value().isEmpty());
}

// The program parses no markup: a write into a document read from JSON goes to a page that parses
// it and reads back, or fails and leaves the document and the page as they were.
TEST(LiveDocument, MarkupThatNoPageParsesIsRefusedAndChangesNothing)
{
    auto channel = std::make_shared<RecordingChannel>();
    const auto doc = Document::fromJson(readFixture("document_gallery.json"), channel);
    Element* probe = byId(*doc, "probe");
    ASSERT_TRUE(probe);
    const QString before = probe->innerHTML();
    const QString outer = doc->documentElement()->outerHTML();
    const std::vector<Element*> all = doc->all();
    for (const QString& text : {before + "<b>12 kB</b>", QStringLiteral("<i>replaced</i>"), QString()}) {
        SCOPED_TRACE(text.toStdString());
        try {
            probe->setInnerHTML(text);
            FAIL() << "markup was parsed without a parser";
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().contains("markup")) << e.text().toStdString();
        }
        EXPECT_EQ(doc->documentElement()->outerHTML(), outer);
        EXPECT_EQ(doc->all(), all);
        EXPECT_EQ(doc->indexOf(probe), qsizetype(std::find(all.begin(), all.end(), probe) - all.begin()));
    }
    EXPECT_TRUE(channel->scripts.isEmpty());
    probe->setInnerHTML(before); // nothing to add: nothing to parse
    EXPECT_TRUE(channel->scripts.isEmpty());
    // The channel still takes the other writes.
    probe->children().at(0)->setStatus(true);
    EXPECT_EQ(channel->scripts.size(), 1);

    // Nor does a copy without a channel (a DevTools or BiDi read) parse any.
    EXPECT_THROW(Document::fromJson(readFixture("document_gallery.json"))->all()[0]->setInnerHTML("<p>x</p>"), Error);

    // A page that reads back needs no parser here: the model links in the nodes it hands back.
    const QByteArray json = R"({"v":2,"id":7,"url":"file:///t.html","title":"t","nodes":[-1,2,"div",0]})";
    auto page = std::make_shared<ReportingChannel>();
    const auto live = Document::fromJson(json, page);
    Element* div = live->all()[0];
    page->answers = {R"({"first":1,"nodes":[-1,2,"b",0, 0,0,"12 kB"]})"};
    div->setInnerHTML("<b>12 kB</b>");
    ASSERT_EQ(page->asked.size(), 1);
    EXPECT_TRUE(page->asked[0].startsWith("globalThis.__pxt?__pxt.appendRead(7,0,")) << page->asked[0].toStdString();
    EXPECT_EQ(div->innerHTML(), "<b>12 kB</b>");
    ASSERT_EQ(live->all().size(), 2u);
    EXPECT_EQ(live->all()[1]->tagName(), "B");
}

TEST(DocumentFromJson, StringsWrittenBeforeAreReadByTheirNumber)
{
    // "div" 0, "id" 1, "a" 2, "href" 3, "x.jpg" 4, "http://g/x.jpg" 5; the frame counts from 0 again.
    const auto doc = Document::fromJson(R"({"nodes":[-1,2,"div",1,"id",0, 0,4,"a",1,"href","x.jpg","http://g/x.jpg",)"
                                        R"( 0,4,2,1,3,5,4, 2,0,4],"frames":[{"nodes":[-1,2,"p",0, 0,0,0]}]})");
    const auto& all = doc->all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->id(), "div");
    EXPECT_EQ(all[1]->getAttribute("href"), "x.jpg");
    EXPECT_EQ(all[1]->href(), "http://g/x.jpg");
    EXPECT_EQ(all[2]->getAttribute("href"), "http://g/x.jpg");
    EXPECT_EQ(all[2]->href(), "x.jpg");
    EXPECT_EQ(all[2]->firstChild()->data(), "x.jpg");
    EXPECT_EQ(doc->frame(0)->all()[0]->firstChild()->data(), "p");
}

TEST(HtmlSerializer, TheChildrenOfAVoidElementAreNotWritten)
{
    // Only a page script gives a void element children; the browser's innerHTML and outerHTML write
    // none of them. An element of another namespace is no void element, whatever its name.
    struct Case {
        const char* nodes; // the first record is the element read
        const char* inner;
        const char* outer;
    };
    const std::vector<Case> cases = {
        {R"(-1,3,"img",0,0,0,"a.jpg", 0,0,"text")", "", "<img>"},
        {R"(-1,4,"area",1,"href","x","http://g/x", 0,3,"img",0,1,1,"t.jpg")", "", "<area href=\"x\">"},
        {R"(-1,5,"input",1,"type","checkbox",0,"", 0,2,"b",0, 1,0,"x")", "", "<input type=\"checkbox\">"},
        {R"(-1,2,"br",0, 0,1,"c")", "", "<br>"},
        {R"(-1,6,"img","img",0, 0,0,"t")", "t", "<img>t</img>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nodes);
        const auto doc = Document::fromJson(QByteArray(R"({"nodes":[)") + c.nodes + "]}");
        const Element* e = doc->all().at(0);
        EXPECT_EQ(e->innerHTML(), QString::fromUtf8(c.inner));
        EXPECT_EQ(e->outerHTML(), QString::fromUtf8(c.outer));
    }
}

TEST(DocumentFromJson, MalformedOrHostileInputIsRefusedWithAClearText)
{
    QByteArray truncated = readFixture("document_gallery.json");
    truncated.truncate(truncated.size() / 2);
    QByteArray deepFrames = R"({"nodes":[]})";
    for (int i = 0; i < 40; ++i)
        deepFrames = R"({"nodes":[],"frames":[)" + deepFrames + "]}";
    struct Case {
        QByteArray json;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"", "it is not JSON"},
        {"The page has no document", "it is not JSON"},
        {truncated, "it is not JSON"},
        {QByteArray(3000, '[') + QByteArray(3000, ']'), "it is not a JSON object"},
        {QByteArray(3000, '[') + QByteArray(2999, ']'), "it is not JSON"},
        {R"({"x":)" + QByteArray(3000, '[') + QByteArray(3000, ']') + "}", "the node list is missing"},
        {R"({"nodes":[-1,2,"div",0] "frames":[]})", "it is not JSON"},
        {R"({"nodes":[-1,0,"a\x"]})", "it is not JSON"},
        {R"({"nodes":[-1,0,"a)" "\n" R"("]})", "it is not JSON"},
        {R"({"nodes":[-1,0,"text"]} trailing)", "it is not JSON"},
        {"[1,2]", "it is not a JSON object"},
        {R"("a string")", "JSON"},
        {R"({"v":1,"nodes":[]})", "unknown format"},
        {"{}", "the node list is missing"},
        {R"({"nodes":{}})", "the node list is missing"},
        {R"({"nodes":[0,2,"div",0]})", "node 0 has a bad parent"},
        {R"({"nodes":[-1,2,"div",0,7,2,"p",0]})", "node 1 has a bad parent"},
        {R"({"nodes":[-1.5,2,"div",0]})", "node 0 has a bad parent"},
        {R"({"nodes":["-1",2,"div",0]})", "node 0 has a bad parent"},
        {R"({"nodes":[-1,0,"text",0,2,"b",0]})", "node 1 has a parent that is not an element"},
        {R"({"nodes":[-1,9,"x"]})", "node 0 has a bad kind"},
        {R"({"nodes":[-1,2,5,0]})", "node 0 has a bad name"},
        {R"({"nodes":[-1,2,"",0]})", "node 0 has no name"},
        {R"({"nodes":[-1,2,"div"]})", "node 0 is cut short"},
        {R"({"nodes":[-1,2,"div",5,"a","b"]})", "node 0 is cut short"},
        {R"({"nodes":[-1,2,"div",1e300,"a","b"]})", "node 0 has a bad attribute count"},
        {R"({"nodes":[-1,2,"div",1,"a",null]})", "node 0 has a bad attribute value"},
        {R"({"nodes":[-1,2,"div",1,"a",2]})", "node 0 has a bad attribute value"},
        {R"({"nodes":[-1,2,"div",1,"a",0.5]})", "node 0 has a bad attribute value"},
        {R"({"nodes":[-1,2,"div",1,"a",-1]})", "node 0 has a bad attribute value"},
        {R"({"nodes":[-1,2,0,0]})", "node 0 has a bad name"},
        {R"({"nodes":[-1,3,"img",0,"60",1,"s"]})", "node 0 has a bad width"},
        {R"({"nodes":[-1,3,"img",0,60,60]})", "node 0 is cut short"},
        {R"({"nodes":[-1,5,"input",0,"yes","v"]})", "node 0 has a bad checked state"},
        {R"({"nodes":[-1,6,"svg",1]})", "node 0 has a bad tag name"},
        {R"({"nodes":[],"title":5})", "its title is not a string"},
        {R"({"nodes":[],"id":"7"})", "its snapshot id is not a number"},
        {R"({"nodes":[],"id":-1})", "its snapshot id is not a number"},
        {R"({"nodes":[],"frames":{}})", "its frame list is not a list"},
        {R"({"nodes":[],"frames":[5]})", "frame 0 is not an object"},
        {R"({"nodes":[],"frames":[{"nodes":3}]})", "the node list is missing"},
        {R"({"nodes":[],"frames":[{"error":7}]})", "its error is not a string"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.left(80).toStdString());
        try {
            Document::fromJson(c.json);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().startsWith("The page's document could not be read: ")) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QLatin1String(c.says))) << e.text().toStdString();
        }
    }

    // Frames nested beyond reason are unreadable, not refused.
    auto doc = Document::fromJson(deepFrames);
    int depth = 0;
    try {
        for (;; ++depth)
            doc = doc->frame(0);
    } catch (const Error& e) {
        EXPECT_TRUE(e.text().contains("nested too deeply"));
    }
    EXPECT_EQ(depth, Document::kMaxFrameDepth - 1);

    // Odd but harmless values are taken as they come.
    const auto odd = Document::fromJson(R"({"nodes":[-1,3,"img",0,-5,1e12,"s",-1,5,"input",0,true,"v"],"extra":1})");
    EXPECT_EQ(odd->all()[0]->width(), 0);
    EXPECT_EQ(odd->all()[0]->height(), 2147483647);
    EXPECT_TRUE(odd->all()[1]->checked());
    const QByteArray unknown = R"({"later":{"a":[1,{"b":null}]},"nodes":[],"x":)" + QByteArray(3000, '[') + QByteArray(3000, ']') + "}";
    EXPECT_TRUE(Document::fromJson(unknown)->all().empty());
}

TEST(DocumentFromJson, DamagedSerializerOutputIsReadOrRefusedNeverMore)
{
    const QByteArray good = readFixture("document_gallery.json");
    const char noise[] = "[]{},:\"\\-0e9.tfnu \x01\xff";
    unsigned seed = 12345;
    const auto random = [&](unsigned n) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 8) % n;
    };
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray json = good;
        for (int edits = 1 + int(random(3)); edits > 0 && !json.isEmpty(); --edits) {
            const qsizetype at = qsizetype(random(unsigned(json.size())));
            switch (random(3)) {
            case 0: json[at] = noise[random(sizeof(noise) - 1)]; break;
            case 1: json.insert(at, noise[random(sizeof(noise) - 1)]); break;
            default: json.truncate(at); break;
            }
        }
        try {
            const auto doc = Document::fromJson(json);
            for (const Element* e : doc->all())
                (void)e->outerHTML();
            for (int i = 0; i < doc->framesLength(); ++i)
                try {
                    (void)doc->frame(i)->all();
                } catch (const Error&) {
                }
        } catch (const Error& e) {
            ++refused;
            ASSERT_TRUE(e.text().startsWith("The page's document could not be read: ")) << e.text().toStdString();
        }
    }
    EXPECT_GT(refused, 1000);
}

TEST(DocumentFromJson, ATree100000DeepIsBuiltWalkedWrittenAndDestroyed)
{
    constexpr int kDepth = 100000;
    QByteArray json = R"({"v":2,"id":5,"url":"http://deep.test/","title":"Deep","nodes":[-1,2,"html",0,0,2,"body",0)";
    json.reserve(kDepth * 24);
    for (int i = 0; i < kDepth; ++i) {
        json += ',' + QByteArray::number(i + 1) + (i % 2 ? ",2,\"span\",0" : ",2,\"div\",1,\"class\",\"c\"");
    }
    json += "," + QByteArray::number(kDepth + 1) + ",0,\"leaf\"]}";

    auto channel = std::make_shared<RecordingChannel>();
    auto doc = Document::fromJson(json, channel);
    parseWritesWithGumbo(*doc);
    ASSERT_EQ(doc->all().size(), size_t(kDepth + 2));
    Element* deepest = doc->all().back();
    EXPECT_EQ(deepest->tagName(), "SPAN");
    EXPECT_EQ(deepest->firstChild()->data(), "leaf");

    Element* body = doc->all()[1];
    const QString html = body->innerHTML();
    EXPECT_EQ(html.size(), (kDepth / 2) * QString("<div class=\"c\"></div><span></span>").size() + 4);
    EXPECT_TRUE(html.startsWith("<div class=\"c\"><span><div class=\"c\">"));
    EXPECT_TRUE(html.contains("<div class=\"c\"><span>leaf</span></div></span></div>"));
    EXPECT_TRUE(html.endsWith("</div></span></div>"));

    deepest->setInnerHTML("leaf<b>more</b>");
    ASSERT_EQ(doc->all().size(), size_t(kDepth + 3));
    EXPECT_EQ(doc->all().back()->tagName(), "B");
    EXPECT_TRUE(channel->scripts.last().startsWith("globalThis.__pxt&&__pxt.append(5," + QString::number(kDepth + 1)));

    doc->all()[50000]->setInnerHTML("<p>cut</p>");
    EXPECT_EQ(doc->all().size(), 50002u);
    EXPECT_EQ(doc->all().back()->tagName(), "P");
    doc.reset();
}
