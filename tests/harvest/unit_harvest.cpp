#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "core/Error.h"
#include "harvest/Harvest.h"
#include "harvest/LinkHelpers.h"
#include "harvest/ProgressSink.h"
#include "pages/ThumbPage.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pxt;

namespace {

// Records what the harvest tells the progress window; can cancel or fail at a given step.
class ProgressRecorder : public ProgressSink {
public:
    QStringList setups;
    QStringList texts;
    int closes = 0;
    int steps = 0;
    QList<bool> hourglass;
    std::function<void(int position)> onStep;
    bool cancelled = false;

    void setUp(const QString& caption, const QString& text, int min, int max, int pos, bool c) override
    {
        setups << QStringLiteral("%1|%2|%3|%4|%5|%6").arg(caption, text).arg(min).arg(max).arg(pos).arg(c);
        cancelled = false;
    }
    void stepTo(int position) override
    {
        ++steps;
        if (onStep)
            onStep(position);
    }
    void setText(const QString& text) override { texts << text; }
    bool isCancelled() const override { return cancelled; }
    void finish() override { ++closes; }
    void setBusyCursor(bool on) override { hourglass << on; }
};

const QString kBase = QStringLiteral("http://gallery.test/index.html");

QString thumb(const QString& href, int w, int h, const QString& src = QStringLiteral("t.jpg"))
{
    return QStringLiteral("<a href=\"%1\"><img src=\"%2\" width=%3 height=%4></a>\n").arg(href, src).arg(w).arg(h);
}

std::shared_ptr<Document> page(const QString& body, const QString& title = QStringLiteral("Gallery"))
{
    return htmlDocument(QStringLiteral("<html><head><title>%1</title></head><body>%2</body></html>").arg(title, body),
                        kBase);
}

struct HarvestRun {
    PageLines lines;
    int total = 0;
    QStringList text() const
    {
        QStringList out;
        for (const QByteArray& l : lines)
            out << QString::fromLatin1(l);
        return out;
    }
    int cells() const { return int(text().filter(QStringLiteral("<td valign=bottom>")).size()); }
};

// The harvest's cells as the thumbnail page's writer writes them.
HarvestRun harvest(const std::shared_ptr<Document>& doc, const Settings& settings, ProgressRecorder* rec = nullptr)
{
    ProgressRecorder local;
    HarvestRun run;
    Harvester h(settings, rec ? *rec : local);
    const HarvestResult result = h.harvest(doc);
    run.lines = ThumbPage::harvestLines(result, settings.thumbColumnCount());
    run.total = result.countedCells();
    return run;
}

QString summary(int l, int s, int r) { return QString::fromLatin1(ThumbPage::summaryLine(l, s, r)); }

} // namespace

TEST(HarvestFilters, SizeAndRatioBoundaries)
{
    struct Case {
        int w, h;
        float ratio;
        int cells, sizeCount, ratioCount;
    } cases[] = {
        {60, 60, 2.75f, 1, 0, 0},   {50, 80, 2.75f, 0, 1, 0},   {80, 50, 2.75f, 0, 1, 0},
        {275, 100, 2.75f, 0, 0, 1}, {274, 100, 2.75f, 1, 0, 0}, {100, 275, 2.75f, 0, 0, 1},
        {468, 60, 0.0f, 1, 0, 0},   {51, 51, 1.0f, 0, 0, 1},
    };
    for (const Case& c : cases) {
        Settings settings;
        SnapshotValues v;
        v.bannerRatio = c.ratio;
        settings.takeSnapshot(v);
        const HarvestRun run = harvest(page(thumb(QStringLiteral("a.jpg"), c.w, c.h)), settings);
        SCOPED_TRACE(QStringLiteral("%1x%2 ratio %3").arg(c.w).arg(c.h).arg(c.ratio).toStdString());
        EXPECT_EQ(run.total, c.cells);
        EXPECT_EQ(run.cells(), c.cells);
        if (c.sizeCount || c.ratioCount)
            EXPECT_EQ(run.text().last(), summary(0, c.sizeCount, c.ratioCount));
        else
            EXPECT_EQ(run.text().last(), QStringLiteral("</tr></table>"));
    }
}

TEST(HarvestPage, CellLineIsTheFormatsExactBytes)
{
    Settings settings;
    const HarvestRun run = harvest(page(thumb(QStringLiteral("http://pics.test/full/a.jpg"), 100, 80,
                                       QStringLiteral("http://pics.test/th/a.jpg"))),
                            settings);
    ASSERT_EQ(run.lines.size(), 3);
    EXPECT_EQ(run.lines[0], "<table align=center border=0 width=100%><tr>");
    EXPECT_EQ(run.lines[1],
              "<td valign=bottom><a href=\"http://pics.test/full/a.jpg\"><img border=0 alt=\"View Image: "
              "http://pics.test/full/a.jpg\" src=http://pics.test/th/a.jpg></a><div id=http://pics.test/full/a.jpg >"
              "<input type=checkbox name=\"a.jpg\" value=\"http://pics.test/full/a.jpg\"><font "
              "style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-weight:bold; font-size:11px; "
              "color:#000000;\">&nbsp;a.jpg</font></div><br>");
    EXPECT_EQ(run.lines[2], "</tr></table>");
}

TEST(HarvestPage, RowBreaksFollowTheColumnCount)
{
    struct Case {
        int columns, thumbs;
        QList<int> breaksBeforeCell; // 1-based
    } cases[] = {{3, 7, {4, 7}}, {1, 3, {2, 3}}, {2, 2, {}}};
    for (const Case& c : cases) {
        Settings settings;
        SnapshotValues v;
        v.thumbColumnCount = c.columns;
        settings.takeSnapshot(v);
        QString body;
        for (int i = 0; i < c.thumbs; ++i)
            body += thumb(QStringLiteral("p%1.jpg").arg(i), 100, 100);
        const QStringList lines = harvest(page(body), settings).text();
        QList<int> breaks;
        int cell = 0;
        for (const QString& l : lines) {
            if (l == QStringLiteral("</tr><tr>"))
                breaks << cell + 1;
            else if (l.startsWith(QStringLiteral("<td")))
                ++cell;
        }
        EXPECT_EQ(cell, c.thumbs);
        EXPECT_EQ(breaks, c.breaksBeforeCell) << c.columns << " columns";
    }
}

TEST(HarvestFilters, LinkFilter)
{
    struct Case {
        bool enabled;
        QStringList lines;
        QString href;
        bool image;
        int cells, linkCount;
    } cases[] = {
        {true, {"ads"}, "http://x.test/downloads/a.jpg", true, 0, 1},
        {true, {"ADS"}, "http://x.test/downloads/a.jpg", true, 1, 0},
        {false, {"ads"}, "http://x.test/downloads/a.jpg", true, 1, 0},
        {true, {""}, "http://x.test/downloads/a.jpg", true, 1, 0},
        {true, {"banner"}, "http://x.test/banner/page.html", false, 0, 1}, // a text link counts too
    };
    for (const Case& c : cases) {
        Settings settings;
        settings.plainLinkFilter().enabled = c.enabled;
        settings.plainLinkFilter().lines = c.lines;
        const QString body = c.image ? thumb(c.href, 100, 100)
                                     : QStringLiteral("<a href=\"%1\">plain text</a>").arg(c.href);
        const HarvestRun run = harvest(page(body), settings);
        SCOPED_TRACE(c.href.toStdString() + " / " + c.lines.join(',').toStdString());
        EXPECT_EQ(run.cells(), c.cells);
        if (c.linkCount)
            EXPECT_EQ(run.text().last(), summary(c.linkCount, 0, 0));
        else
            EXPECT_EQ(run.text().last(), QStringLiteral("</tr></table>"));
    }
}

TEST(HarvestFilters, NamesFromTheLinkAddress)
{
    Settings settings;
    const HarvestRun run = harvest(page(thumb(QStringLiteral("http://x.test/gallery/"), 100, 100)
                                 + thumb(QStringLiteral("http://x.test/show.php?id=7"), 100, 100)),
                            settings);
    ASSERT_EQ(run.cells(), 1); // the folder link writes no cell and counts nothing
    EXPECT_TRUE(run.text()[1].contains(QStringLiteral("name=\"show.php?id=7\"")));
    EXPECT_EQ(run.text().last(), QStringLiteral("</tr></table>"));
}

TEST(HarvestFilters, ImageFinding)
{
    Settings settings;
    struct Case {
        QString inner;
        bool found;
    } cases[] = {
        {"<img src=t.jpg width=90 height=90>", true},
        {"<b><img src=t.jpg width=90 height=90></b>", true},
        {"text <img src=t.jpg width=90 height=90>", true},
        {"<span>text</span><img src=t.jpg width=90 height=90>", false},
        {"<span>img</span>", false},
        // Whitespace-only text between tags is passed over, down the first children and along siblings.
        {"\n  <div class=thumb>\n    <img src=t.jpg width=90 height=90>\n  </div>\n", true},
        {"\r\n\t<b> <i>\f<img src=t.jpg width=90 height=90></i></b>", true},
        {"<span> </span>\n<img src=t.jpg width=90 height=90>", true},
        {"\n<span>text</span>\n<img src=t.jpg width=90 height=90>", false},
        {"\n<!-- c -->\n<img src=t.jpg width=90 height=90>", true},
        // A no-break space is text, not whitespace: the leaf has no image sibling below it.
        {"<b>&nbsp;</b><i><img src=t.jpg width=90 height=90></i>", false},
    };
    for (const Case& c : cases) {
        const HarvestRun run = harvest(page(QStringLiteral("<a href=\"a.jpg\">%1</a>").arg(c.inner)), settings);
        EXPECT_EQ(run.cells(), c.found ? 1 : 0) << c.inner.toStdString();
    }
}

TEST(HarvestFilters, ImageMapAreasAreTakenAsLinks)
{
    Settings settings;
    settings.plainLinkFilter().lines = {QStringLiteral("blocked")};
    const HarvestRun run = harvest(page(QStringLiteral("<map name=m><area href=\"blocked.html\"><area href=\"ok.html\"></map>")),
                            settings);
    EXPECT_EQ(run.cells(), 0);
    EXPECT_EQ(run.text().last(), summary(1, 0, 0));
}

TEST(HarvestFilters, matchesFileType)
{
    const QString types = QStringLiteral("jpg, jpeg, gif");
    struct Case {
        QString name;
        bool pass;
    } cases[] = {
        {"a.jpg", true},   {"a.JPEG", true},  {"a.gif", true},   {"a.jp", true},   {"a.e", true},
        {"jpg", true},     {"a.png", false},  {"a.html", false}, {"", false},      {"a.", false},
        {"http://x.test/a.jpg", true},        {"http://host.test/a", false},     {"c:\\dir.jpg\\a", false},
        {"show.php?id=7", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchesFileType(c.name, types), c.pass) << c.name.toStdString();
    EXPECT_EQ(linkFileName(QString()), QString());
    EXPECT_EQ(linkFileName(QStringLiteral("nothing")), QString());
    EXPECT_EQ(linkFileName(QStringLiteral("http://x/a/")), QString());
    EXPECT_EQ(linkFileName(QStringLiteral("http://x/a/b.jpg")), QStringLiteral("b.jpg"));
}

namespace {
std::shared_ptr<Document> framePage(const QString& name, int thumbs)
{
    QString body;
    for (int i = 0; i < thumbs; ++i)
        body += thumb(QStringLiteral("%1-%2.jpg").arg(name).arg(i), 100, 100);
    return page(body, name);
}

// The names of the cells, with "|" for each table start.
QString cellOrder(const HarvestRun& run)
{
    QString out;
    for (const QString& l : run.text()) {
        if (l.startsWith(QStringLiteral("<table")))
            out += '|';
        const qsizetype at = l.indexOf(QStringLiteral("name=\""));
        if (at >= 0)
            out += l.mid(at + 6, l.indexOf('"', at + 6) - at - 6).section('.', 0, 0) + ' ';
    }
    return out.trimmed();
}
} // namespace

TEST(HarvestFrames, DepthFirstWithFailuresSwallowed)
{
    Settings settings;
    // top: frame A (with sub-frames A1, unreadable), unreadable, frame B
    auto top = page(QString(), QStringLiteral("frameset"));
    auto a = framePage(QStringLiteral("a"), 1);
    a->addFrame(framePage(QStringLiteral("a1"), 2));
    a->addUnreadableFrame(QStringLiteral("cross-origin"));
    top->addFrame(a);
    top->addUnreadableFrame(QStringLiteral("cross-origin"));
    top->addFrame(framePage(QStringLiteral("b"), 1));

    const HarvestRun run = harvest(top, settings);
    EXPECT_EQ(cellOrder(run), QStringLiteral("||a-0 |a1-0 a1-1 |b-0"));
    EXPECT_EQ(run.total, 4);
}

TEST(HarvestFrames, AFailingFrameKeepsItsCellsButNotItsCount)
{
    Settings settings;
    auto top = framePage(QStringLiteral("top"), 1);
    auto bad = framePage(QStringLiteral("bad"), 3);
    bad->addFrame(framePage(QStringLiteral("skipped"), 1));
    top->addFrame(bad);
    top->addFrame(framePage(QStringLiteral("after"), 1));

    ProgressRecorder rec;
    int setups = 0;
    rec.onStep = [&](int position) {
        setups = int(rec.setups.size());
        if (setups == 2 && position == 1)
            throw Error(QStringLiteral("frame went away"));
    };
    const HarvestRun run = harvest(top, settings, &rec);
    EXPECT_EQ(cellOrder(run), QStringLiteral("|top-0 |bad-0 bad-1 |after-0"));
    EXPECT_EQ(run.total, 2);
}

TEST(HarvestFrames, AFailureInTheTopDocumentPropagates)
{
    Settings settings;
    ProgressRecorder rec;
    rec.onStep = [](int) { throw Error(QStringLiteral("gone")); };
    Harvester h(settings, rec);
    EXPECT_THROW(h.harvest(framePage(QStringLiteral("top"), 2)), Error);
    // The hourglass ends with the failure too.
    EXPECT_EQ(rec.hourglass, (QList<bool>{true, false}));
}

TEST(HarvestFrames, CancelEndsOnlyTheCurrentTable)
{
    Settings settings;
    settings.plainLinkFilter().lines = {QStringLiteral("top-1")};
    auto top = framePage(QStringLiteral("top"), 4);
    top->addFrame(framePage(QStringLiteral("f"), 2));
    ProgressRecorder rec;
    rec.onStep = [&](int position) {
        if (rec.setups.size() == 1 && position == 1)
            rec.cancelled = true;
    };
    const HarvestRun run = harvest(top, settings, &rec);
    EXPECT_EQ(cellOrder(run), QStringLiteral("|top-0 |f-0 f-1"));
    EXPECT_TRUE(run.text().contains(summary(1, 0, 0)));
    EXPECT_EQ(run.total, 3);
    EXPECT_EQ(rec.closes, 2);
    EXPECT_EQ(rec.setups.first(), QStringLiteral("Grabbing Thumbnails|Searching...|0|3|0|1"));
    EXPECT_EQ(rec.texts.first(), QStringLiteral("Searching...Found 1"));
}

TEST(HarvestPage, HostileValuesAreEscapedAndReadBack)
{
    // Addresses of schemes a browser does not percent-encode can hold quotes and markup.
    const QString link = QString::fromUtf8("javascript:x(\"a\")<b>&amp \xE6\x97\xA5/\"n\" <i>.jpg");
    const QString image = QStringLiteral("data:image/gif,<x> \"y\"");
    const QString name = linkFileName(link);
    const QByteArray cell = ThumbPage::cellLine(link, image, name);
    EXPECT_TRUE(cell.contains("&#26085;"));

    // What the page gives back is what went in.
    auto back = htmlDocument(QString::fromLatin1(cell), QStringLiteral("file:///thumbs.html"));
    const Element* input = nullptr;
    const Element* div = nullptr;
    const Element* img = nullptr;
    for (const Element* e : back->all()) {
        if (e->tagName() == QStringLiteral("INPUT"))
            input = e;
        else if (e->tagName() == QStringLiteral("DIV"))
            div = e;
        else if (e->tagName() == QStringLiteral("IMG"))
            img = e;
    }
    ASSERT_TRUE(input && div && img);
    EXPECT_EQ(input->value(), link);
    EXPECT_EQ(input->name(), name);
    EXPECT_EQ(div->id(), link);
    EXPECT_EQ(img->getAttribute("src"), image);
    EXPECT_EQ(img->getAttribute("alt"), "View Image: " + link);
    ASSERT_EQ(back->links().size(), 1u);
    EXPECT_EQ(back->links().front()->getAttribute("href"), link);
    for (const Element* e : back->all()) // nothing was injected
        EXPECT_TRUE(e->tagName() != "B" && e->tagName() != "I" && e->tagName() != "X") << e->tagName().toStdString();
}

TEST(HarvestPage, ALinkOfEnormousMarkupCostsNoMore)
{
    // Thousands of text nodes sharing one long string: a small JSON, gigabytes of innerHTML. The
    // image test does not write the markup; writing it fails for that element alone.
    QByteArray json = R"({"v":2,"id":0,"url":"http://g.test/","title":"G","base":"http://g.test/","nodes":[)"
                      R"(-1,2,"html",0, 0,2,"body",0, 1,4,"a",1,"href","http://g.test/big.jpg","http://g.test/big.jpg",)"
                      R"( 2,0,")" + QByteArray(100000, 'x') + R"(")";
    for (int i = 0; i < 20000; ++i)
        json += ",2,0,6";
    json += R"(, 2,3,"img",3,"src","t.jpg","width","90","height","90",90,90,"http://g.test/t.jpg")"
            R"(, 1,4,"a",1,"href","http://g.test/lean.jpg","http://g.test/lean.jpg",)"
            R"( 20005,3,"img",3,"src","t.jpg","width","90","height","90",90,90,"http://g.test/t.jpg"],"frames":[]})";
    const auto doc = Document::fromJson(json);
    const std::vector<Element*> links = doc->links();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_THROW(links[0]->innerHTML(), Error);
    EXPECT_THROW(links[0]->outerHTML(), Error);
    EXPECT_EQ(links[1]->innerHTML(), "<img src=\"t.jpg\" width=\"90\" height=\"90\">");

    Settings settings;
    const HarvestRun run = harvest(doc, settings);
    EXPECT_EQ(run.total, 2);
}

TEST(HarvestPage, TitleLinesEscapeTheTitle)
{
    EXPECT_EQ(ThumbPage::pageTitle(QStringLiteral("Cats")), QStringLiteral("Thumbnails from Cats"));
    EXPECT_EQ(ThumbPage::pageTitle(QStringLiteral("Thumbnails from Cats")), QStringLiteral("Thumbnails from Cats"));
    EXPECT_EQ(ThumbPage::headerLine(QStringLiteral("</title><script>"), 320),
              "<html><HEAD><META content=\"text/html; charset=iso-8859-1\" http-equiv=Content-Type><title>"
              "Thumbnails from &lt;/title&gt;&lt;script&gt;</title><style>td>a>img{max-width:320px;"
              "max-height:320px;width:auto;height:auto}</style></head><body link=#FF641A vlink=#FF641A "
              "alink=#FF641A><form><font face=arial size=2>");
    EXPECT_EQ(ThumbPage::titleLine(QStringLiteral("Cats"), QStringLiteral("http://x.test/")),
              "<font size=2 face=arial><b>Cats<b></font><br><a href=\"http://x.test/\" target=_blank "
              "style=\"font-family:Verdana,Arial,Helvetica,sans-serif; font-weight:bold; font-size:10px; "
              "text-decoration:none\">http://x.test/</a><hr>");
}

// Each cell carries the referrer policy its requests go under: the link's rel="noreferrer" and
// referrerpolicy, the picture's referrerpolicy, else the page's last <meta name="referrer"> that names
// one, else the default.
TEST(HarvestCells, CarryTheirRequestsReferrerPolicies)
{
    using P = ReferrerPolicy;
    struct Case {
        const char* what;
        QString head;
        QString link;
        P linkPolicy;
        P thumbPolicy;
    };
    const QString plain = QStringLiteral("<a href=\"a.jpg\"><img src=\"t.jpg\" width=90 height=90></a>");
    const Case cases[] = {
        {"nothing said", QString(), plain, P::StrictOriginWhenCrossOrigin, P::StrictOriginWhenCrossOrigin},
        {"the page's meta", QStringLiteral("<meta name=\"Referrer\" content=\"unsafe-url\">"), plain, P::UnsafeUrl,
         P::UnsafeUrl},
        {"the last meta that names one", QStringLiteral("<meta name=referrer content=origin><meta name=referrer content=same-origin>"
                                                        "<meta name=referrer content=bogus>"),
         plain, P::SameOrigin, P::SameOrigin},
        {"rel=noreferrer", QStringLiteral("<meta name=referrer content=unsafe-url>"),
         QStringLiteral("<a href=\"a.jpg\" rel=\"nofollow\tNoReferrer\"><img src=\"t.jpg\" width=90 height=90></a>"),
         P::NoReferrer, P::UnsafeUrl},
        {"the elements' own", QString(),
         QStringLiteral("<a href=\"a.jpg\" referrerpolicy=origin><img src=\"t.jpg\" referrerpolicy=no-referrer width=90 height=90></a>"),
         P::Origin, P::NoReferrer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto doc = htmlDocument(
            QStringLiteral("<html><head>%1<title>G</title></head><body>%2</body></html>").arg(c.head, c.link), kBase);
        ProgressRecorder progress;
        Settings settings;
        const HarvestResult result = Harvester(settings, progress).harvest(doc);
        ASSERT_EQ(result.cells.size(), 1u);
        EXPECT_EQ(result.cells[0].linkPolicy, c.linkPolicy);
        EXPECT_EQ(result.cells[0].thumbnailPolicy, c.thumbPolicy);
    }
}

// The harvest's values: each document read with its address, its counts and whether it finished;
// each cell with its document.
TEST(HarvestResult, DocumentsWithTheirCountsAndCellsWithTheirDocument)
{
    Settings settings;
    auto top = page(thumb(QStringLiteral("a.jpg"), 100, 100) + thumb(QStringLiteral("b.jpg"), 20, 20));
    auto frame = htmlDocument(thumb(QStringLiteral("c.jpg"), 100, 100) + thumb(QStringLiteral("d.jpg"), 100, 100),
                              QStringLiteral("http://frames.test/f.html"));
    top->addFrame(frame);
    ProgressRecorder rec;
    rec.onStep = [&](int position) {
        if (rec.setups.size() == 2 && position == 0)
            throw Error(QStringLiteral("frame went away"));
    };
    const HarvestResult result = Harvester(settings, rec).harvest(top);
    ASSERT_EQ(result.documents.size(), 2u);
    EXPECT_EQ(result.documents[0].url, kBase);
    EXPECT_TRUE(result.documents[0].finished);
    EXPECT_EQ(result.documents[0].rejected.size, 1);
    EXPECT_EQ(result.documents[1].url, QStringLiteral("http://frames.test/f.html"));
    EXPECT_FALSE(result.documents[1].finished);
    ASSERT_EQ(result.cells.size(), 2u);
    EXPECT_EQ(result.cells[0].name, QStringLiteral("a.jpg"));
    EXPECT_EQ(result.cells[0].link, QStringLiteral("http://gallery.test/a.jpg"));
    EXPECT_EQ(result.cells[0].thumbnail, QStringLiteral("http://gallery.test/t.jpg"));
    EXPECT_EQ(result.documentOf(result.cells[1]).url, QStringLiteral("http://frames.test/f.html"));
    EXPECT_EQ(result.countedCells(), 1);
    EXPECT_EQ(result.rejected().size, 1);
    EXPECT_FALSE(result.aborted);
}

// Beyond the links that hold an IMG: a link drawn with a background picture (or holding an element so
// drawn) and a picture without a link that names its full picture pass the same filters, after the
// links' own cells; the option turns the pictures without a link off.
TEST(HarvestRules, BackgroundsAndPicturesWithoutALink)
{
    const QString body = QStringLiteral(
        "<a href=\"big/1.jpg\"><div class=card style=\"background-image: url('t/1.jpg'); width: 120px; height: 90px\">"
        "<span>Harbour</span></div></a>\n"
        "<a href=\"big/2.jpg\" style=\"background: #000 url(t/2.jpg) no-repeat; width:120px; height:90px\">x</a>\n"
        "<a href=\"big/3.jpg\"><div style=\"background-image:url(t/3.jpg); width:10px; height:90px\"></div></a>\n"
        "<a href=\"big/4.jpg\"><div style=\"background-image:url(t/4.jpg); width:600px; height:60px\"></div></a>\n"
        "<a href=\"album/\"><div style=\"background-image:url(t/5.jpg); width:120px; height:90px\"></div></a>\n"
        "<a href=\"big/6.jpg\"><img src=\"t/6.jpg\" width=120 height=90><div style=\"background-image:url(t/x.jpg); "
        "width:120px; height:90px\"></div></a>\n"
        "<img src=\"t/7.jpg\" data-full=\"/full/7.jpg\" width=120 height=90>\n"
        "<p><img src=\"t/8.jpg\" data-highres=\" \" data-zoom-image=\"https://cdn.test/8.jpg\" width=120 height=90></p>\n"
        "<img src=\"t/9.jpg\" width=120 height=90>\n"
        "<img src=\"t/10.jpg\" data-original=\"big/10.jpg\" width=10 height=10>\n");
    struct Case {
        bool unlinked;
        QStringList cells; // link -> thumbnail
        int sizeRejected;
        int ratioRejected;
    };
    const Case cases[] = {
        {true,
         {"http://gallery.test/big/6.jpg -> http://gallery.test/t/6.jpg",
          "http://gallery.test/big/1.jpg -> http://gallery.test/t/1.jpg",
          "http://gallery.test/big/2.jpg -> http://gallery.test/t/2.jpg",
          "http://gallery.test/full/7.jpg -> http://gallery.test/t/7.jpg",
          "https://cdn.test/8.jpg -> http://gallery.test/t/8.jpg"},
         2, 1},
        {false,
         {"http://gallery.test/big/6.jpg -> http://gallery.test/t/6.jpg",
          "http://gallery.test/big/1.jpg -> http://gallery.test/t/1.jpg",
          "http://gallery.test/big/2.jpg -> http://gallery.test/t/2.jpg"},
         1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unlinked ? "with pictures without a link" : "without");
        Settings settings;
        SnapshotValues v;
        v.takeUnlinkedPictures = c.unlinked;
        settings.takeSnapshot(v);
        ProgressRecorder progress;
        Harvester harvester(settings, progress);
        const HarvestResult result = harvester.harvest(page(body));
        QStringList cells;
        for (const ThumbCell& cell : result.cells)
            cells << cell.link + QStringLiteral(" -> ") + cell.thumbnail;
        EXPECT_EQ(cells, c.cells);
        ASSERT_EQ(result.documents.size(), 1u);
        EXPECT_EQ(result.documents[0].rejected.size, c.sizeRejected);
        EXPECT_EQ(result.documents[0].rejected.ratio, c.ratioRejected);
    }
}
