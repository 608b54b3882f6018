// The WebEngine browser view on real pages: events, cancelled navigations, the live document and
// saving. Pages are written into a temporary folder; a small local HTTP server serves the loads that
// must stay running for a while.

#include "dom/Document.h"
#include "pages/ThumbPage.h"
#include "core/Error.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "testing/LocalServer.h"
#include "testing/RecordingDialogs.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using pxt::Document;
using pxt::Element;
using pxt::WebEngineBrowserView;
using pxt::test::waitUntil;

namespace {

// Serves /page (title = path; a link to ?link= with the target ?target=, an image ?img=, a script
// ?script=, the document itself after ?delay= seconds) and /*.gif (after ?delay= seconds), on
// 127.0.0.1 with a free port.
pxt::test::Script sitePage(const QByteArray& request)
{
    const QUrl u(QStringLiteral("http://127.0.0.1") + QString::fromLatin1(pxt::test::requestPath(request)));
    const QUrlQuery q(u);
    const int delayMs = int(q.queryItemValue(QStringLiteral("delay")).toDouble() * 1000);
    QByteArray body, kind;
    if (u.path().endsWith(QLatin1String(".gif"))) {
        body = QByteArray::fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");
        kind = "image/gif";
    } else {
        const QString link = q.hasQueryItem(QStringLiteral("link")) ? q.queryItemValue(QStringLiteral("link"), QUrl::FullyDecoded)
                                                                     : QStringLiteral("/cancel");
        const QString img = q.queryItemValue(QStringLiteral("img"), QUrl::FullyDecoded);
        const QString script = q.queryItemValue(QStringLiteral("script"), QUrl::FullyDecoded);
        const QString target = q.queryItemValue(QStringLiteral("target"), QUrl::FullyDecoded);
        body = QStringLiteral("<html><head><title>%1</title></head><body><a href=\"%2\"%5>link</a>%3%4</body></html>")
                   .arg(u.path(), link, img.isEmpty() ? QString() : QStringLiteral("<img src=\"%1\">").arg(img),
                        script.isEmpty() ? QString() : QStringLiteral("<script>%1</script>").arg(script),
                        target.isEmpty() ? QString() : QStringLiteral(" target=%1").arg(target))
                   .toUtf8();
        kind = "text/html";
    }
    return {pxt::test::pause(delayMs), pxt::test::send(pxt::test::okResponse(body, kind))};
}

class SiteServer {
public:
    bool ok() const { return m_server.port() > 0; }
    QString url(const QString& pathAndQuery) const { return m_server.url(pathAndQuery); }

private:
    pxt::test::LocalServer m_server{[](int, const QByteArray& request) { return sitePage(request); }};
};

// A thumbnail cell as the thumbnail page writes it.
QString thumbCell(const QString& link, const QString& image, const QString& name)
{
    return QStringLiteral("<td valign=bottom><a href=\"%1\"><img border=0 alt=\"View Image: %1\" src=%2></a>"
                          "<div id=%1 ><input type=checkbox name=\"%3\" value=\"%1\">"
                          "<font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-weight:bold; "
                          "font-size:11px; color:#000000;\">&nbsp;%3</font></div><br>")
        .arg(link, image, name);
}

Element* nthWithTag(const Document& doc, const QString& tag, int n)
{
    for (Element* e : doc.all())
        if (e->tagName() == tag && n-- == 0)
            return e;
    return nullptr;
}

class WebEngineViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_window = std::make_unique<QWidget>();
        m_window->resize(900, 700);
        auto* layout = new QVBoxLayout(m_window.get());
        pxt::WebEngineViewFactory factory(m_dialogs);
        m_view = qobject_cast<WebEngineBrowserView*>(factory.create(m_window.get()));
        ASSERT_NE(m_view, nullptr);
        layout->addWidget(m_view->widget());
        m_window->show();
        watch(m_view);
    }

    void watch(WebEngineBrowserView* view)
    {
        QObject::connect(view, &pxt::BrowserView::navigationRequested, view, [this](const QString& address, bool* cancel) {
            offered << address;
            if (cancelIf && cancelIf(address))
                *cancel = true;
            if (onBeforeNavigate)
                onBeforeNavigate();
        });
        QObject::connect(view, &pxt::BrowserView::documentComplete, view, [this, view] {
            completed << view->locationUrl();
            if (onComplete)
                onComplete();
        });
        QObject::connect(view, &pxt::BrowserView::loadProgress, view,
                         [this](int p, int max) { progress << QPair<int, int>(p, max); });
    }

    QString writePage(const QString& name, const QString& html)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(html.toUtf8());
        return path;
    }

    QString writePicture(const QString& name, int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    static QString fileUrl(const QString& path) { return QUrl::fromLocalFile(path).toString(); }

    // A script's click on the page's first link (no user's click).
    void scriptClicksLink() { m_view->page()->runJavaScript(QStringLiteral("document.querySelector('a').click()"), QWebEngineScript::UserWorld); }

    // The user's click on the page's first link, with the mouse.
    void userClicksLink() { userClicks(QStringLiteral("a")); }

    // The user's click on the first element the CSS selector names, with the mouse.
    void userClicks(const QString& selector)
    {
        const QStringList box = pageValue(QStringLiteral(
            "(() => { const r = document.querySelector('%1').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2].join(); })()").arg(selector))
                                    .toString()
                                    .split(u',');
        ASSERT_EQ(box.size(), 2);
        QWidget* target = m_view->widget()->focusProxy() ? m_view->widget()->focusProxy() : m_view->widget();
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(int(box[0].toDouble()), int(box[1].toDouble())));
    }

    // Navigates and waits for the page's documentComplete.
    void load(const QString& address)
    {
        const qsizetype before = completed.size();
        m_view->navigate(address);
        ASSERT_TRUE(waitUntil([&] { return completed.size() > before; }, 20000)) << address.toStdString();
    }

    // Lets the engine finish whatever it still has to report.
    static void settle(int ms = 400)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // What the page's document holds, read in a world of the test's own (local pages run no script
    // in their main world). The model's writes leave for the page at the next turn of the event loop,
    // so that turn comes first. Asked again when no answer comes: the engine may drop a script sent
    // to a page that has just replaced a page of another process.
    QVariant pageValue(const QString& script)
    {
        QCoreApplication::processEvents();
        struct Answer {
            QVariant value;
            bool done = false;
        };
        const auto answer = std::make_shared<Answer>();
        for (int attempt = 0; attempt < 4 && !answer->done; ++attempt) {
            m_view->page()->runJavaScript(script, QWebEngineScript::UserWorld, [answer](const QVariant& v) {
                if (!answer->done)
                    answer->value = v;
                answer->done = true;
            });
            waitUntil([&] { return answer->done; }, 2000);
        }
        EXPECT_TRUE(answer->done);
        return answer->value;
    }

    // A page of three thumbnail cells with local pictures of 40 x 30 pixels.
    QString writeThumbPage()
    {
        writePicture(QStringLiteral("a.png"), 40, 30);
        writePicture(QStringLiteral("b.png"), 40, 30);
        QString html = QStringLiteral(
            "<html><HEAD><META content=\"text/html; charset=iso-8859-1\" http-equiv=Content-Type>"
            "<title>Thumbnails from Gallery</title></head><body><form><font face=arial size=2>"
            "<table align=center border=0 width=100%><tr>");
        html += thumbCell(QStringLiteral("http://example.com/p/one.jpg"), QStringLiteral("a.png"), QStringLiteral("one.jpg"));
        html += thumbCell(QStringLiteral("http://example.com/p/two.jpg"), QStringLiteral("b.png"), QStringLiteral("two.jpg"));
        html += QStringLiteral("</tr><tr>");
        html += thumbCell(QStringLiteral("http://example.com/show?id=3"), QStringLiteral("a.png"), QStringLiteral("show?id=3"));
        html += QStringLiteral("</tr></table><br><br><br>");
        return writePage(QStringLiteral("thumbs page.html"), html);
    }

    QTemporaryDir m_dir;
    pxt::RecordingDialogs m_dialogs; // outlives the views
    std::unique_ptr<QWidget> m_window;
    WebEngineBrowserView* m_view = nullptr;

    QStringList offered;
    QStringList completed;
    QList<QPair<int, int>> progress;
    std::function<bool(const QString&)> cancelIf;
    std::function<void()> onBeforeNavigate;
    std::function<void()> onComplete;
};

TEST(WebEngineAddress, PlainPathsBecomeFileUrlsAndAddressesStay)
{
    struct Case {
        QString address;
        QString url;
    } cases[] = {
        {"/tmp/a b#1.html", "file:///tmp/a b%231.html"},
        {"  /tmp/x.html ", "file:///tmp/x.html"},
        {"file:///tmp/x.html", "file:///tmp/x.html"},
        {"http://example.com/show?u=http://other/x.jpg", "http://example.com/show?u=http://other/x.jpg"},
        {"https://example.com/", "https://example.com/"},
        {"www.example.com", "http://www.example.com"},
        {"about:blank", "about:blank"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebEngineBrowserView::addressToUrl(c.address).toString(), c.url) << c.address.toStdString();
}

TEST_F(WebEngineViewTest, LocalPageLoadsOnceWithProgress)
{
    const QString path = writePage(QStringLiteral("page one.html"), QStringLiteral("<title>One</title><p>one"));
    m_view->navigate(path);
    // Navigate asks at once, inside the call.
    EXPECT_EQ(offered, QStringList{fileUrl(path)});
    ASSERT_TRUE(waitUntil([&] { return !completed.isEmpty(); }));
    settle();

    EXPECT_EQ(offered, QStringList{fileUrl(path)});
    EXPECT_EQ(completed, QStringList{fileUrl(path)});
    EXPECT_EQ(m_view->locationUrl(), fileUrl(path));
    EXPECT_FALSE(m_view->isBusy());
    ASSERT_FALSE(progress.isEmpty());
    for (const auto& p : progress)
        EXPECT_EQ(p.second, 100);
    EXPECT_EQ(progress.last().first, 100);

    // Refresh is a navigation of its own and completes once more.
    m_view->refresh();
    ASSERT_TRUE(waitUntil([&] { return completed.size() == 2; }));
    settle();
    EXPECT_EQ(completed.size(), 2);
    EXPECT_EQ(offered.size(), 2);
}

TEST_F(WebEngineViewTest, MissingFileShowsTheErrorPageAsALoadedDocument)
{
    const QString path = m_dir.filePath(QStringLiteral("missing.html"));
    load(path);
    settle();
    EXPECT_EQ(completed, QStringList{fileUrl(path)});
    EXPECT_EQ(m_view->locationUrl(), fileUrl(path));
    EXPECT_FALSE(m_view->isBusy());
    // The error page is read like any page.
    EXPECT_FALSE(m_view->document()->all().empty());
}

// Cancelled navigations fire no documentComplete and leave the shown page; afterwards the next page
// loads normally, so nothing swallowed leaks into it.
TEST_F(WebEngineViewTest, CancelledNavigationsFireNoDocumentComplete)
{
    cancelIf = [](const QString& address) { return address.toUpper().contains(QLatin1String("HTTP://")); };
    const QString first = writePage(QStringLiteral("first.html"),
                                    QStringLiteral("<title>First</title><a href=\"http://127.0.0.1:9/p%20i%2Fc.jpg?q=a%26b\">pic</a>"));
    const QString next = writePage(QStringLiteral("next.html"), QStringLiteral("<title>Next</title>"));
    load(first);

    struct Case {
        const char* what;
        std::function<void()> act;
        QString address;
    } cases[] = {
        {"Navigate", [&] { m_view->navigate(QStringLiteral("http://127.0.0.1:9/other.html")); },
         QStringLiteral("http://127.0.0.1:9/other.html")},
        // A clicked link arrives as the page has it, its escapes kept.
        {"link click", [&] { scriptClicksLink(); },
         QStringLiteral("http://127.0.0.1:9/p%20i%2Fc.jpg?q=a%26b")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        offered.clear();
        completed.clear();
        c.act();
        ASSERT_TRUE(waitUntil([&] { return !offered.isEmpty(); }));
        EXPECT_EQ(offered, QStringList{c.address});
        ASSERT_TRUE(waitUntil([&] { return !m_view->isBusy(); }));
        settle();
        EXPECT_TRUE(completed.isEmpty());
        EXPECT_EQ(m_view->locationUrl(), fileUrl(first));

        load(next);
        settle();
        EXPECT_EQ(completed, QStringList{fileUrl(next)});
        load(first);
    }
}

// What a load that is still running becomes when something else happens meanwhile.
TEST_F(WebEngineViewTest, RunningLoadsMeetOtherNavigations)
{
    SiteServer server;
    ASSERT_TRUE(server.ok());
    cancelIf = [](const QString& address) { return address.contains(QLatin1String("cancel")); };
    const QString local = writePage(QStringLiteral("local.html"), QStringLiteral("<title>Local</title>"));
    const QString slowDocument = server.url(QStringLiteral("/slowdoc?delay=2"));
    const QString slowPicture = server.url(QStringLiteral("/slowpic?img=/p.gif%3Fdelay%3D2"));

    enum Then { Completes, ReplacedByLocal, NothingCompletes };
    struct Case {
        const char* what;
        QString running;
        bool waitForDom; // the running page's document has arrived, its picture has not
        std::function<void()> act;
        Then then;
    } cases[] = {
        {"Navigate replaces a document load", slowDocument, false, [&] { m_view->navigate(local); }, ReplacedByLocal},
        {"Navigate replaces a picture load", slowPicture, true, [&] { m_view->navigate(local); }, ReplacedByLocal},
        {"Stop ends a document load", slowDocument, false, [&] { m_view->stop(); }, NothingCompletes},
        {"Stop ends a picture load", slowPicture, true, [&] { m_view->stop(); }, NothingCompletes},
        {"a cancelled Navigate leaves a document load", slowDocument, false,
         [&] { m_view->navigate(server.url(QStringLiteral("/cancel"))); }, Completes},
        {"a cancelled Navigate leaves a picture load", slowPicture, true,
         [&] { m_view->navigate(server.url(QStringLiteral("/cancel"))); }, Completes},
        {"a cancelled click leaves a picture load", slowPicture, true,
         [&] { scriptClicksLink(); }, Completes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(local);
        completed.clear();
        offered.clear();
        m_view->navigate(c.running);
        ASSERT_TRUE(waitUntil([&] { return m_view->isBusy(); }));
        if (c.waitForDom)
            ASSERT_TRUE(waitUntil([&] { return pageValue(QStringLiteral("!!document.querySelector('img')")).toBool(); }));
        else
            settle(300);
        ASSERT_TRUE(completed.isEmpty());
        c.act();
        ASSERT_TRUE(waitUntil([&] { return !m_view->isBusy(); }, 15000));
        settle(2500); // past the server's delay: a late report would have arrived by now

        switch (c.then) {
        case Completes:
            EXPECT_EQ(completed, QStringList{c.running});
            break;
        case ReplacedByLocal:
            EXPECT_EQ(completed, QStringList{fileUrl(local)});
            break;
        case NothingCompletes:
            EXPECT_TRUE(completed.isEmpty());
            break;
        }
        EXPECT_FALSE(m_view->isBusy());
    }
}

// A page asked for while the one before it still loads (a grab's blank page, then its thumbnail page)
// completes like any other; the one it replaced reports nothing.
TEST_F(WebEngineViewTest, APageAskedForWhileAnotherLoadsCompletes)
{
    const QString blank = writePage(QStringLiteral("blank.html"), QStringLiteral("<title>Blank</title>"));
    const QString page = writePage(QStringLiteral("page.html"), QStringLiteral("<title>Page</title><p>cells</p>"));
    // The second one asked for at once, after a turn of the event loop, as soon as the first has begun.
    const std::function<void()> between[] = {
        [] {},
        [] { QCoreApplication::processEvents(); },
        [this] { waitUntil([&] { return m_view->isBusy(); }, 1000); },
    };
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        load(page);
        completed.clear();
        m_view->navigate(blank);
        between[round % std::size(between)]();
        m_view->navigate(page);
        ASSERT_TRUE(waitUntil([&] { return completed.contains(fileUrl(page)); }, 10000)) << completed.join(' ').toStdString();
        settle(100);
        EXPECT_FALSE(m_view->isBusy());
        if (!completed.isEmpty()) {
            EXPECT_EQ(completed.last(), fileUrl(page));
        }
    }
}

// A local page still loading its pictures (a thumbnail page of a slow gallery) replaced by another
// local page: the new one completes, the stopped one reports nothing.
TEST_F(WebEngineViewTest, ALocalPageStillLoadingIsReplacedByTheNext)
{
    SiteServer server;
    ASSERT_TRUE(server.ok());
    const QString slow = writePage(QStringLiteral("slow.html"),
                                   QStringLiteral("<title>Slow</title><img src=\"%1\">").arg(server.url(QStringLiteral("/p.gif?delay=3"))));
    const QString blank = writePage(QStringLiteral("blank2.html"), QStringLiteral("<title>Blank</title>"));
    const QString page = writePage(QStringLiteral("next.html"), QStringLiteral("<title>Next</title>"));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        load(blank);
        completed.clear();
        m_view->navigate(slow);
        ASSERT_TRUE(waitUntil([&] { return m_view->isBusy(); }));
        settle(300); // the page is there, its picture is not
        ASSERT_TRUE(completed.isEmpty());
        m_view->navigate(page);
        EXPECT_TRUE(waitUntil([&] { return completed.contains(fileUrl(page)); }, 2500)) << completed.join(' ').toStdString();
        settle(100);
        EXPECT_EQ(completed, QStringList{fileUrl(page)});
        EXPECT_FALSE(m_view->isBusy());
    }
}

// A local page that replaces a web page (a view run's view page after the last gallery page) is read
// at its documentComplete like any other: the engine may drop the first request to such a page.
TEST_F(WebEngineViewTest, ALocalPageAfterAWebPageIsReadAtItsCompletion)
{
    SiteServer server;
    ASSERT_TRUE(server.ok());
    const QString local = writePage(QStringLiteral("local.html"), QStringLiteral("<title>Local</title><p>x"));
    m_view->setDocumentTimeout(5000);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        load(server.url(QStringLiteral("/gallery")));
        QString read;
        onComplete = [&] {
            try {
                read = m_view->document()->title();
            } catch (const pxt::Error& e) {
                read = e.text();
            }
        };
        load(local);
        onComplete = nullptr;
        EXPECT_EQ(read, QStringLiteral("Local"));
    }
}

// The generated pages are local files showing pictures from web servers.
TEST_F(WebEngineViewTest, LocalPagesShowWebPictures)
{
    SiteServer server;
    ASSERT_TRUE(server.ok());
    const QString picture = server.url(QStringLiteral("/full/p.gif"));
    load(writePage(QStringLiteral("download1.html"),
                   QStringLiteral("<HEAD><title>G</title></HEAD><img src=%1><br><br><br><br>").arg(picture)));
    EXPECT_EQ(pageValue(QStringLiteral("document.images[0].naturalWidth")).toInt(), 1);
    const std::shared_ptr<Document> doc = m_view->document();
    Element* img = nthWithTag(*doc, QStringLiteral("IMG"), 0);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->href(), picture);
    EXPECT_EQ(img->width(), 1);
}

TEST_F(WebEngineViewTest, DocumentHoldsTheThumbnailCells)
{
    const QString path = writeThumbPage();
    load(path);
    const std::shared_ptr<Document> doc = m_view->document();

    EXPECT_EQ(doc->title(), QStringLiteral("Thumbnails from Gallery"));
    EXPECT_EQ(QUrl(doc->url()), QUrl::fromLocalFile(path));

    // all: index for index what the page holds.
    const QStringList pageTags = pageValue(QStringLiteral(
        "Array.from(document.getElementsByTagName('*')).map(e => e.tagName).join(',')")).toString().split(',');
    QStringList tags;
    for (const Element* e : doc->all())
        tags << e->tagName();
    EXPECT_EQ(tags, pageTags);

    const std::vector<Element*> links = doc->links();
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0]->href(), QStringLiteral("http://example.com/p/one.jpg"));
    EXPECT_EQ(links[2]->href(), QStringLiteral("http://example.com/show?id=3"));

    QStringList values, names;
    QList<QPair<int, int>> sizes;
    QStringList pictures;
    for (const Element* e : doc->all()) {
        if (e->tagName() == QLatin1String("INPUT")) {
            values << e->value();
            names << e->name();
            EXPECT_FALSE(e->checked());
        } else if (e->tagName() == QLatin1String("IMG")) {
            sizes << QPair<int, int>(e->width(), e->height());
            pictures << e->href();
        } else if (e->tagName() == QLatin1String("DIV")) {
            EXPECT_EQ(e->id(), e->children().value(0)->value());
        }
    }
    EXPECT_EQ(values, (QStringList{"http://example.com/p/one.jpg", "http://example.com/p/two.jpg",
                                   "http://example.com/show?id=3"}));
    EXPECT_EQ(names, (QStringList{"one.jpg", "two.jpg", "show?id=3"}));
    EXPECT_EQ(sizes, (QList<QPair<int, int>>{{40, 30}, {40, 30}, {40, 30}}));
    EXPECT_EQ(pictures, (QStringList{fileUrl(m_dir.filePath("a.png")), fileUrl(m_dir.filePath("b.png")),
                                     fileUrl(m_dir.filePath("a.png"))}));
}

// The thumbnail page as the program writes it, in a pane half as wide as a window of 1280 x 900: large
// thumbnails shrink into the square of the thumbnail size, aspect kept; small ones keep their size; two
// rows of two fit without a horizontal scroll bar.
TEST_F(WebEngineViewTest, ThumbnailsAreDrawnInsideTheirSquare)
{
    m_window->resize(640, 800);
    struct Case {
        QString picture;
        int width, height;
        QSizeF shown;
    } cases[] = {
        {"wide.png", 960, 640, {200, 133.33}},
        {"tall.png", 300, 900, {66.67, 200}},
        {"small.png", 120, 80, {120, 80}},
        {"wide2.png", 960, 640, {200, 133.33}},
    };
    pxt::PageLines lines;
    lines.append(pxt::ThumbPage::headerLine(QStringLiteral("Gallery"), 200));
    lines.append(pxt::ThumbPage::tableStartLine());
    int k = 0;
    for (const Case& c : cases) {
        writePicture(c.picture, c.width, c.height);
        if (k++ == 2)
            lines.append(pxt::ThumbPage::rowBreakLine());
        lines.append(pxt::ThumbPage::cellLine(QStringLiteral("http://example.com/") + c.picture, c.picture, c.picture));
    }
    lines.append(pxt::ThumbPage::tableEndLine());
    lines.append(pxt::ThumbPage::trailerLine());
    load(writePage(QStringLiteral("thumbs.html"), QString::fromLatin1(lines.join("\r\n"))));
    ASSERT_TRUE(waitUntil([&] { return pageValue(QStringLiteral("Array.from(document.images).every(i => i.complete)")).toBool(); }, 5000));

    const QStringList boxes = pageValue(QStringLiteral(
        "Array.from(document.images).map(i => { const r = i.getBoundingClientRect(); "
        "return [r.width, r.height, r.bottom].join(' '); }).join(',')")).toString().split(u',');
    ASSERT_EQ(boxes.size(), qsizetype(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const QStringList box = boxes[qsizetype(i)].split(u' ');
        SCOPED_TRACE(cases[i].picture.toStdString());
        EXPECT_NEAR(box[0].toDouble(), cases[i].shown.width(), 0.5);
        EXPECT_NEAR(box[1].toDouble(), cases[i].shown.height(), 0.5);
    }
    const QVariantList fit = pageValue(QStringLiteral(
        "[document.documentElement.scrollWidth <= document.documentElement.clientWidth, "
        "document.images[3].getBoundingClientRect().bottom <= window.innerHeight]")).toList();
    ASSERT_EQ(fit.size(), 2);
    EXPECT_TRUE(fit[0].toBool()) << "a horizontal scroll bar";
    EXPECT_TRUE(fit[1].toBool()) << "the second row is not shown whole";
}

TEST_F(WebEngineViewTest, WritesReachThePageAndTheNextReading)
{
    load(writeThumbPage());
    std::shared_ptr<Document> doc = m_view->document();
    Element* second = nthWithTag(*doc, QStringLiteral("INPUT"), 1);
    ASSERT_NE(second, nullptr);
    second->setStatus(true);

    const QString checked = QStringLiteral(
        "Array.from(document.querySelectorAll('input')).map(i => i.checked ? 1 : 0).join('')");
    EXPECT_EQ(pageValue(checked).toString(), QStringLiteral("010"));
    std::shared_ptr<Document> again = m_view->document();
    EXPECT_TRUE(nthWithTag(*again, QStringLiteral("INPUT"), 1)->checked());
    EXPECT_FALSE(nthWithTag(*again, QStringLiteral("INPUT"), 0)->checked());

    // The size probe's write: the size text appended inside the div of the checked box.
    Element* div = nthWithTag(*again, QStringLiteral("DIV"), 1);
    ASSERT_NE(div, nullptr);
    const QString added = QStringLiteral("<br><font size=1>12 KB</font>");
    div->setInnerHTML(div->innerHTML() + added);
    EXPECT_EQ(pageValue(checked).toString(), QStringLiteral("010")); // the appended div keeps its box
    EXPECT_TRUE(pageValue(QStringLiteral("document.querySelectorAll('div')[1].innerHTML"))
                    .toString().endsWith(QStringLiteral("<br><font size=\"1\">12 KB</font>")));

    // The new elements are live too: a later write on them reaches the page.
    const std::shared_ptr<Document> third = m_view->document();
    Element* thirdDiv = nthWithTag(*third, QStringLiteral("DIV"), 1);
    EXPECT_EQ(thirdDiv->innerHTML(), div->innerHTML());
    EXPECT_EQ(third->all().size(), again->all().size());
    Element* font = div->children().value(div->children().size() - 1);
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->tagName(), QStringLiteral("FONT"));
    font->setInnerHTML(QStringLiteral("13 KB"));
    EXPECT_EQ(pageValue(QStringLiteral("document.querySelectorAll('div')[1].lastChild.textContent")).toString(),
              QStringLiteral("13 KB"));
}

// The document a view gives is kept in step with its page: the user's clicks, the program's writes and
// pictures laid out anew cost no new read; any other change of the tree gives a document read afresh.
// Either way the model holds what a fresh read of the page holds.
TEST_F(WebEngineViewTest, TheShownDocumentKeepsInStepWithThePage)
{
    load(writeThumbPage());
    const auto expectAsThePage = [&](const Document& doc) {
        pxt::SerializerOptions plain;
        plain.handles = false;
        const auto fresh = Document::fromJson(pageValue(pxt::serializerScript(plain)).toString().toUtf8());
        EXPECT_EQ(doc.documentElement()->outerHTML(), fresh->documentElement()->outerHTML());
        ASSERT_EQ(doc.all().size(), fresh->all().size());
        for (size_t i = 0; i < doc.all().size(); ++i) {
            const Element* mine = doc.all()[i];
            const Element* page = fresh->all()[i];
            EXPECT_EQ(mine->checked(), page->checked()) << i;
            EXPECT_EQ(mine->value(), page->value()) << i;
            EXPECT_EQ(mine->width(), page->width()) << i;
            EXPECT_EQ(mine->height(), page->height()) << i;
            EXPECT_EQ(mine->href(), page->href()) << i;
        }
    };
    const std::shared_ptr<Document> doc = m_view->document();

    // The click reaches the page on its own time.
    const auto pageShows = [&](const QString& script) {
        return waitUntil([&] { return pageValue(script).toBool(); }, 5000);
    };
    userClicks(QStringLiteral("input[value$=\"two.jpg\"]"));
    ASSERT_TRUE(pageShows(QStringLiteral("document.querySelectorAll('input')[1].checked")));
    EXPECT_EQ(m_view->document(), doc);
    EXPECT_TRUE(nthWithTag(*doc, QStringLiteral("INPUT"), 1)->checked());
    expectAsThePage(*doc);

    nthWithTag(*doc, QStringLiteral("INPUT"), 0)->setStatus(true);
    Element* div = nthWithTag(*doc, QStringLiteral("DIV"), 2);
    div->setInnerHTML(div->innerHTML() + QStringLiteral("<br><font size=1>12 kB</font><input type=checkbox>"));
    nthWithTag(*doc, QStringLiteral("INPUT"), 3)->setStatus(true);
    EXPECT_EQ(m_view->document(), doc);
    expectAsThePage(*doc);
    userClicks(QStringLiteral("input:not([value])"));
    ASSERT_TRUE(pageShows(QStringLiteral("!document.querySelector('input:not([value])').checked")));
    EXPECT_EQ(m_view->document(), doc);
    expectAsThePage(*doc);

    // Pictures laid out anew without a change of the tree (a style sheet of another world).
    pageValue(QStringLiteral("(() => { const s = new CSSStyleSheet(); s.replaceSync('img { width: 80px }');"
                             " document.adoptedStyleSheets = [s]; return 1; })()"));
    EXPECT_EQ(m_view->document(), doc);
    EXPECT_EQ(nthWithTag(*doc, QStringLiteral("IMG"), 0)->width(), 80);
    expectAsThePage(*doc);

    // Changes of texts, attributes and the tree by anyone else: read afresh.
    const QStringList changes{
        QStringLiteral("document.querySelector('div font').firstChild.data = 'changed'"),
        QStringLiteral("document.querySelector('img').setAttribute('alt', 'changed')"),
        QStringLiteral("document.body.append(document.createElement('p'))"),
    };
    std::shared_ptr<Document> before = doc;
    for (const QString& change : changes) {
        SCOPED_TRACE(change.toStdString());
        pageValue(change);
        const std::shared_ptr<Document> after = m_view->document();
        EXPECT_NE(after, before);
        expectAsThePage(*after);
        EXPECT_EQ(m_view->document(), after); // and kept in step from then on
        before = after;
    }

    // Another page.
    load(writeThumbPage());
    EXPECT_NE(m_view->document(), before);
}

TEST_F(WebEngineViewTest, DocumentCanBeReadInsideDocumentComplete)
{
    std::shared_ptr<Document> doc;
    onComplete = [&] { doc = m_view->document(); };
    load(writeThumbPage());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->links().size(), 3u);
}

TEST_F(WebEngineViewTest, DocumentRefusedWhileANavigationIsDecided)
{
    const QString path = writePage(QStringLiteral("plain.html"), QStringLiteral("<title>x</title>"));
    load(path);
    QString failure;
    onBeforeNavigate = [&] {
        try {
            m_view->document();
        } catch (const pxt::Error& e) {
            failure = e.text();
        }
    };
    m_view->refresh(); // the engine asks about this one
    ASSERT_TRUE(waitUntil([&] { return completed.size() == 2; }));
    EXPECT_FALSE(failure.isEmpty());
}

// A page whose scripts keep it busy does not answer: document() gives up, and the late answer
// harms nothing. A view closed meanwhile ends the wait too.
TEST_F(WebEngineViewTest, DocumentOfAPageThatDoesNotAnswer)
{
    const QString path = writePage(QStringLiteral("busy.html"), QStringLiteral("<title>busy</title><p>x"));
    load(path);
    // Keeps the page's thread busy (from a world of the test's own: the local page runs no script).
    const QString hang = QStringLiteral("{ const t = Date.now(); while (Date.now() - t < 2500); }");

    m_view->setDocumentTimeout(500);
    m_view->page()->runJavaScript(hang, QWebEngineScript::UserWorld);
    settle(100);
    EXPECT_THROW(m_view->document(), pxt::Error);
    settle(3000); // the late answer arrives
    m_view->setDocumentTimeout(10000);
    EXPECT_EQ(m_view->document()->title(), QStringLiteral("busy"));

    m_view->page()->runJavaScript(hang, QWebEngineScript::UserWorld);
    settle(100);
    QPointer<WebEngineBrowserView> view = m_view;
    QTimer::singleShot(200, [&] { delete m_view; });
    try {
        view->document();
        ADD_FAILURE() << "a closed view gave a document";
    } catch (const pxt::Error& e) {
        EXPECT_FALSE(e.text().isEmpty());
    }
    EXPECT_TRUE(view.isNull());
    m_view = nullptr;
}

TEST_F(WebEngineViewTest, ViewAndWidgetGoTogether)
{
    QPointer<QWidget> widget = m_view->widget();
    delete m_view;
    EXPECT_TRUE(widget.isNull());

    auto* parent = new QWidget;
    QPointer<pxt::BrowserView> view = pxt::WebEngineViewFactory(m_dialogs).create(parent);
    ASSERT_FALSE(view.isNull());
    EXPECT_EQ(view->widget()->parentWidget(), parent);
    delete parent;
    EXPECT_TRUE(view.isNull());
    m_view = nullptr;
}

class WebEngineSaveTest : public WebEngineViewTest {
protected:
    void SetUp() override
    {
        WebEngineViewTest::SetUp();
        QObject::connect(m_view, &WebEngineBrowserView::saveFinished, m_view,
                         [this](const QString& path, bool ok) { saved << QPair<QString, bool>(path, ok); });
        m_saveSpy = std::make_unique<QSignalSpy>(m_view, &WebEngineBrowserView::saveFinished);
        writePicture(QStringLiteral("pic.png"), 64, 48);
        m_page = writePage(QStringLiteral("view.html"),
                           QStringLiteral("<HEAD><title>Gallery</title></HEAD><img src=pic.png><br><br><br><br>"));
        load(m_page);
    }

    // True once a save has finished (at once when one already has).
    bool waitForSave() { return !saved.isEmpty() || m_saveSpy->wait(10000); }

    QString m_page;
    QList<QPair<QString, bool>> saved;
    std::unique_ptr<QSignalSpy> m_saveSpy;
    QTemporaryDir m_out;
};

TEST_F(WebEngineSaveTest, SavesEachFormat)
{
    struct Case {
        WebEngineBrowserView::SaveFormat format;
        const char* file;
        const char* contains;
        bool folder;
    } cases[] = {
        {QWebEngineDownloadRequest::CompleteHtmlSaveFormat, "complete.html", "complete_files/pic.png", true},
        {QWebEngineDownloadRequest::SingleHtmlSaveFormat, "single.html", "<title>Gallery</title>", false},
        {QWebEngineDownloadRequest::MimeHtmlSaveFormat, "archive.mhtml", "multipart/related", false},
        // A file chosen again is replaced (the folder of the first save stays).
        {QWebEngineDownloadRequest::SingleHtmlSaveFormat, "complete.html", "<title>Gallery</title>", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        saved.clear();
        const QString path = m_out.filePath(c.file);
        m_view->saveTo(path, c.format);
        EXPECT_TRUE(m_view->isSaving());
        ASSERT_TRUE(waitForSave());
        EXPECT_EQ(saved.value(0), (QPair<QString, bool>(path, true)));
        EXPECT_FALSE(m_view->isSaving());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        EXPECT_TRUE(text.contains(c.contains));
        if (c.format == QWebEngineDownloadRequest::SingleHtmlSaveFormat) {
            EXPECT_FALSE(text.contains("_files/pic.png"));
        }
        const QString folder = m_out.filePath(QFileInfo(path).completeBaseName() + "_files");
        EXPECT_EQ(QFileInfo(folder + "/pic.png").isFile(), c.folder);
        if (c.folder) {
            EXPECT_EQ(QImage(folder + "/pic.png").size(), QSize(64, 48));
        }
    }
}

TEST_F(WebEngineSaveTest, SaveAsAsksThenSaves)
{
    // Cancelled: nothing is written.
    m_view->saveAs();
    EXPECT_EQ(m_dialogs.saveFileCalls, 1);
    settle();
    EXPECT_TRUE(saved.isEmpty());

    // The context menu's Save Page goes the same way.
    m_dialogs.saveFile = m_out.filePath(QStringLiteral("menu.html"));
    m_dialogs.saveFilter = 1; // "Web page, HTML only"
    m_view->page()->triggerAction(QWebEnginePage::SavePage);
    EXPECT_EQ(m_dialogs.saveFileCalls, 2);
    // A second save while the first runs is refused: the engine cannot run two saves of one page.
    EXPECT_THROW(m_view->saveAs(), pxt::Error);
    EXPECT_THROW(m_view->saveTo(m_out.filePath(QStringLiteral("other.html")), QWebEngineDownloadRequest::SingleHtmlSaveFormat),
                 pxt::Error);
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(saved, (QList<QPair<QString, bool>>{{m_dialogs.saveFile, true}}));
    EXPECT_TRUE(QFileInfo(m_dialogs.saveFile).isFile());
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("other.html"))));
}

TEST_F(WebEngineSaveTest, SaveFailuresAreReported)
{
    pxt::RecordingDialogs& messages = m_dialogs;
    // Refused before the engine starts.
    EXPECT_THROW(m_view->saveTo(m_out.filePath(QStringLiteral("no/such/folder/x.html")),
                                QWebEngineDownloadRequest::SingleHtmlSaveFormat), pxt::Error);
    EXPECT_THROW(m_view->saveTo(m_out.path(), QWebEngineDownloadRequest::SingleHtmlSaveFormat), pxt::Error);
    EXPECT_FALSE(m_view->isSaving());

    // A folder the engine cannot write in: it says "completed", the missing file says otherwise.
    const QString path = QStringLiteral("/proc/pixtrawl-test.html");
    m_view->saveTo(path, QWebEngineDownloadRequest::SingleHtmlSaveFormat);
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(saved, (QList<QPair<QString, bool>>{{path, false}}));
    ASSERT_EQ(messages.errors.size(), 1);
    EXPECT_TRUE(messages.errors[0].contains(path));
    EXPECT_FALSE(m_view->isSaving());
}

// A view that shows nothing has nothing to save; once it shows a page, it saves as any other.
TEST_F(WebEngineSaveTest, AViewShowingNothingRefusesToSave)
{
    WebEngineBrowserView fresh(m_dialogs, m_window.get());
    watch(&fresh);
    QList<QPair<QString, bool>> finished;
    QObject::connect(&fresh, &WebEngineBrowserView::saveFinished, &fresh,
                     [&](const QString& path, bool ok) { finished << QPair<QString, bool>(path, ok); });
    QSignalSpy finishedSpy(&fresh, &WebEngineBrowserView::saveFinished);
    const QString path = m_out.filePath(QStringLiteral("fresh.html"));
    EXPECT_THROW(fresh.saveTo(path, QWebEngineDownloadRequest::SingleHtmlSaveFormat), pxt::Error);
    EXPECT_FALSE(fresh.isSaving());

    const qsizetype before = completed.size();
    fresh.navigate(m_page);
    ASSERT_TRUE(waitUntil([&] { return completed.size() > before; }));
    fresh.saveTo(path, QWebEngineDownloadRequest::SingleHtmlSaveFormat);
    ASSERT_TRUE(!finished.isEmpty() || finishedSpy.wait(10000));
    EXPECT_EQ(finished, (QList<QPair<QString, bool>>{{path, true}}));
}

TEST_F(WebEngineSaveTest, LinksForANewWindowLeaveTheView)
{
    SiteServer server;
    ASSERT_TRUE(server.ok());
    const QString web = QStringLiteral("http://127.0.0.1:9/gallery.html");
    const QString local = writePage(QStringLiteral("title.html"),
                                    QStringLiteral("<title>T</title><a href=\"%1\" target=_blank>%1</a>").arg(web));
    const QString localFile = writePage(QStringLiteral("file.html"),
                                        QStringLiteral("<title>F</title><a href=\"view.html\" target=_blank>file</a>"));
    const QString remote = server.url(QStringLiteral("/remote?target=_blank&link=") + QUrl::toPercentEncoding(web)
                                      + QStringLiteral("&script=") + QUrl::toPercentEncoding(QStringLiteral(
                                          "window.open('http://127.0.0.1:9/popup.html')")));
    struct Case {
        const char* what;
        QString page;
        bool userClick;
        QList<QUrl> opened;
    } cases[] = {
        {"the user's click on a local page", local, true, {QUrl(web)}},
        {"a script's click", local, false, {}},
        {"a local file", localFile, true, {}},
        {"a web page of a view run, its pop-up and the user's click", remote, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(c.page);
        m_dialogs.openedUrls.clear();
        offered.clear();
        completed.clear();
        if (c.userClick)
            userClicksLink();
        else
            scriptClicksLink();
        if (!c.opened.isEmpty()) {
            ASSERT_TRUE(waitUntil([&] { return !m_dialogs.openedUrls.isEmpty(); }));
        }
        settle(800);
        EXPECT_EQ(m_dialogs.openedUrls, c.opened);
        EXPECT_TRUE(completed.isEmpty());
        EXPECT_EQ(m_view->locationUrl(), c.page.startsWith("http") ? c.page : fileUrl(c.page));
    }
}

// The program's pages and the files it opens are local: they run no script of their own, while the
// program still reads and writes them. Web pages keep their scripts.
TEST_F(WebEngineViewTest, LocalPagesRunNoScript)
{
    const QString page = writePage(
        QStringLiteral("hostile.html"),
        QStringLiteral("<title>quiet</title><script>document.title = 'script ran'</script>"
                       "<img src=missing.png onerror=\"document.title = 'handler ran'\">"
                       "<div id=d><input type=checkbox name=x value=x></div>"));
    load(page);
    settle();
    EXPECT_EQ(m_view->page()->title(), QStringLiteral("quiet"));

    const std::shared_ptr<Document> doc = m_view->document();
    EXPECT_EQ(doc->title(), QStringLiteral("quiet"));
    nthWithTag(*doc, QStringLiteral("INPUT"), 0)->setStatus(true);
    EXPECT_TRUE(pageValue(QStringLiteral("document.querySelector('input').checked")).toBool());

    SiteServer server;
    ASSERT_TRUE(server.ok());
    const QString web = server.url(QStringLiteral("/web?script=") + QUrl::toPercentEncoding(QStringLiteral("document.title = 'web script ran'")));
    load(web);
    EXPECT_TRUE(waitUntil([&] { return m_view->page()->title() == QStringLiteral("web script ran"); }));
    load(page);
    settle();
    EXPECT_EQ(m_view->page()->title(), QStringLiteral("quiet")) << "the next local page runs none again";
}

} // namespace
