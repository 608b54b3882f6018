#include "tests/panes/ThumbsPane.h"
#include "testing/HtmlDocument.h"
#include "harvest/LinkAnswers.h"
#include "harvest/SizeProbe.h"
#include "pages/SizeText.h"
#include "http/HttpClient.h"
#include "testing/LocalServer.h"
#include "testing/TestPki.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include <unistd.h>

using namespace pxt;
using namespace pxt::test;

namespace {

// Answers each picture by its name; unknown names get a 404 without a length.
Script answer(const std::map<QByteArray, Script>& scripts, const QByteArray& request)
{
    const QByteArray path = request.mid(4, request.indexOf(' ', 4) - 4);
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    const auto it = scripts.find(name);
    return it != scripts.end() ? it->second : Script{send("HTTP/1.0 404 Not Found\r\n\r\n")};
}

QByteArray withLength(qint64 length, const QByteArray& body = "x")
{
    return "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n" + body;
}

// A picture of the format and size, as its file holds it.
QByteArray picture(const char* format, int width, int height, const QString& comment = {})
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!comment.isEmpty()) { // in JPEG: comment segments before the frame's header
        writer.setText(QStringLiteral("Description"), comment);
        writer.setText(QStringLiteral("Comment"), comment);
    }
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes;
}

struct Probe : ThumbsPane {

    // Grabs a gallery whose thumbnails link to the given addresses; the probe then starts by itself.
    void grab(const QStringList& links)
    {
        QString body;
        for (const QString& l : links)
            body += QStringLiteral("<a href=\"%1\"><img src=\"t.jpg\" width=100 height=80></a>").arg(l);
        frame.grabDocument(htmlDocument(body, QStringLiteral("http://gallery.test/")), false);
    }
    bool ready() { return waitUntil([&] { return !frame.view()->isBusy() && frame.statusText() == "Ready"; }); }

    void parallel(int n)
    {
        SnapshotValues v = settings.snapshot();
        v.parallelRequests = n;
        settings.takeSnapshot(v);
    }

    std::vector<const Element*> divs()
    {
        std::vector<const Element*> out;
        for (const Element* e : frame.thumbnailsDocument()->all())
            if (e->tagName() == "DIV")
                out.push_back(e);
        return out;
    }

    // The text the probe wrote under each thumbnail, in page order: the size ("2", "2, 8 x 6" with the
    // dimensions), a reply number ("404") or "?"; "-" for none.
    QStringList sizes()
    {
        QStringList out;
        for (const Element* e : divs()) {
            const QString inner = e->innerHTML();
            const qsizetype at = inner.indexOf("&nbsp;&nbsp;");
            if (at < 0) {
                out << QStringLiteral("-");
                continue;
            }
            const QString text = inner.mid(at + 12, inner.indexOf(" </font>", at) - at - 12);
            out << QString(text).remove(QStringLiteral(" kB"));
        }
        return out;
    }
};

// Runs action once, as soon as pred holds, from the event loop: the probe's requests run inside it,
// so a test cannot wait for them from outside.
void once(QObject* context, std::function<bool()> pred, std::function<void()> action)
{
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, pred, action] {
        if (pred()) {
            timer->stop();
            action();
        }
    });
    timer->start(5);
}

} // namespace

TEST(SizeProbe, WritesTheSizeOfEveryPicture)
{
    LocalServer server([](int, const QByteArray& r) {
        return answer({{"a.jpg", {send(withLength(1536))}},
                       {"b.jpg", {send(withLength(2560))}},
                       // closed by the probe once it has the length and the dimensions
                       {"c.gif", {send(withLength(12345, picture("JPEG", 8, 6))), hold()}},
                       {"zero.jpg", {send(withLength(0, ""))}},
                       {"nolength.jpg", {send("HTTP/1.0 200 OK\r\n\r\n" + QByteArray(5000, 'x'))}},
                       {"e.jpg", {send(withLength(511))}}},
                      r);
    });
    Probe p;
    p.grab({server.url("/a.jpg"), server.url("/page.html"), server.url("/b.jpg"), server.url("/c.gif"),
            server.url("/zero.jpg"), server.url("/nolength.jpg"), server.url("/e.jpg")});
    ASSERT_TRUE(p.ready());
    EXPECT_TRUE(p.messages.errors.isEmpty()) << p.messages.errors.join('\n').toStdString();
    EXPECT_EQ(p.sizes(), (QStringList{"2", "-", "2", "12, 8 x 6", "0", "-", "0"}));
    EXPECT_EQ(server.requests().size(), 6u); // the page link is never asked for
    EXPECT_TRUE(p.frame.loadingText().isEmpty());

    // A second run writes nothing twice.
    p.frame.checkImageSizes();
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"2", "-", "2", "12, 8 x 6", "0", "-", "0"}));
    EXPECT_EQ(server.requests().size(), 12u);

    // The exact size text.
    const Element* div = nullptr;
    for (const Element* e : p.frame.thumbnailsDocument()->all())
        if (e->tagName() == "DIV" && !div)
            div = e;
    ASSERT_TRUE(div);
    EXPECT_TRUE(div->innerHTML().endsWith(
        "<font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-size:11px; color:#000000;\">&nbsp;&nbsp;2 kB </font>"));
}

// The dimensions come from the picture's first bytes, whatever its format; a picture whose header
// lies beyond the first 64 KiB, or a body that is no picture, keeps the text of its size alone.
TEST(SizeProbe, GivesThePicturesDimensions)
{
    const QByteArray late = picture("JPEG", 30, 20, QString(40000, u'c')) ; // two comments before the frame
    ASSERT_GT(late.indexOf("\xff\xc0"), SizeProbe::kDimensionBytes);
    const std::map<QByteArray, Script> pictures = {
        {"a.jpg", {send(withLength(2048, picture("JPEG", 2000, 1500))), hold()}},
        {"b.png", {send(withLength(2048, picture("PNG", 640, 480))), hold()}},
        {"c.gif", {send("HTTP/1.0 200 OK\r\nContent-Length: 43\r\n\r\n" + QByteArray::fromBase64(
                            "R0lGODlhAwACAIAAAP///wAAACH5BAAAAAAALAAAAAADAAIAAAICjF8AOw=="))}},
        {"d.webp", {send(withLength(2048, picture("WEBP", 320, 200))), hold()}},
        {"late.jpg", {send(withLength(late.size(), late))}},
        {"text.jpg", {send(withLength(5, "hello"))}},
    };
    LocalServer server([&](int, const QByteArray& r) { return answer(pictures, r); });
    Probe p;
    SnapshotValues v = p.settings.snapshot();
    v.fileTypes = QStringLiteral("jpg, png, gif, webp");
    p.settings.takeSnapshot(v);
    p.grab({server.url("/a.jpg"), server.url("/b.png"), server.url("/c.gif"), server.url("/d.webp"),
            server.url("/late.jpg"), server.url("/text.jpg")});
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"2, 2000 x 1500", "2, 640 x 480", "0, 3 x 2", "2, 320 x 200",
                                      SizeText::kilobytes(late.size()), "0"}));
}

TEST(SizeProbe, OnlyLinkThumbnailsSendNothing)
{
    LocalServer server(Script{send(withLength(1))});
    Probe p;
    p.grab({server.url("/a.html"), server.url("/show.php?id=1")});
    ASSERT_TRUE(p.ready());
    EXPECT_TRUE(server.requests().empty());
}

TEST(SizeProbe, AStopOfTheUserIsSilentAndSendsNothingMore)
{
    struct Case {
        const char* name;
        std::function<void(Probe&)> stop;
        QString status; // right after the stop
        QStringList sizes = {"-", "-"}; // on the page shown then
    };
    const std::vector<Case> cases = {
        {"Stop", [](Probe& p) { p.frame.stopButton()->click(); }, "Ready"},
        {"Reload", [](Probe& p) { p.frame.reloadButton()->click(); }, "Loading Thumbnails..."},
        {"opening a file",
         [](Probe& p) {
             p.folder.write("saved.html", p.folder.read("thumbs.html"));
             p.frame.openThumbnails(p.folder.file("saved.html"));
         },
         "Loading Thumbnails..."},
        // A load the view starts itself (a link that is no web address, Back): the page the probe
        // writes into goes, and the run with it, before the load.
        {"a load of the view",
         [](Probe& p) {
             p.folder.write("other.html", "<html><body>other</body></html>");
             p.frame.view()->navigate(p.folder.file("other.html"));
         },
         "Loading Thumbnails...", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer server(Script{pause(30000)});
        Probe p;
        p.parallel(1);
        p.grab({server.url("/a.jpg"), server.url("/b.jpg")});
        QString statusAfterStop;
        bool walkingAfterStop = true;
        once(&p.frame, [&] { return server.requests().size() == 1; }, [&] {
            c.stop(p);
            statusAfterStop = p.frame.statusText();
            walkingAfterStop = p.frame.sizeProbe().walking();
        });
        ASSERT_TRUE(waitUntil([&] { return !statusAfterStop.isEmpty(); }));
        EXPECT_EQ(statusAfterStop, c.status);
        EXPECT_FALSE(walkingAfterStop);
        // A reload probes the page again from its start: the same first picture.
        waitUntil([&] { return !p.frame.view()->isBusy(); });
        waitUntil([] { return false; }, 100);
        EXPECT_TRUE(p.messages.errors.isEmpty()) << p.messages.errors.join('\n').toStdString();
        for (const QByteArray& line : server.requestLines())
            EXPECT_EQ(line, "GET /a.jpg HTTP/1.0");
        EXPECT_EQ(p.sizes(), c.sizes);
    }
}

TEST(SizeProbe, AClickedLinkEndsTheRunAfterTheCurrentResponse)
{
    LocalServer server(Script{pause(300), send(withLength(2048))});
    Probe p;
    p.parallel(1);
    QStringList diverted;
    QObject::connect(&p.frame, &ThumbnailsPane::linkDiverted, [&](const QString& a) { diverted << a; });
    p.grab({server.url("/a.jpg"), server.url("/b.jpg"), server.url("/c.jpg")});
    once(&p.frame, [&] { return server.requests().size() == 1; },
         [&] { p.frame.view()->navigate(server.url("/b.jpg")); });
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(diverted, QStringList{server.url("/b.jpg")});
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(p.messages.errors.isEmpty());
}

TEST(SizeProbe, FailuresShowTheirReasonWhileTheWalkGoesOn)
{
    quint16 closedPort = 0;
    ::close(loopbackSocket(closedPort, -1));
    LocalServer server([](int, const QByteArray& r) {
        return answer({{"a.jpg", {send(withLength(2048))}},
                       {"gone.jpg", {send("HTTP/1.0 410 Gone\r\nContent-Length: 900\r\n\r\nthe page "), hold()}},
                       {"moved.jpg", {send("HTTP/1.0 302 Found\r\nLocation: /a.jpg\r\n\r\n")}},
                       {"reset.jpg", {send("HTTP/1.0 200 OK\r\n"), pause(20), reset()}}},
                      r);
    });
    const QString refused = QStringLiteral("http://127.0.0.1:%1/r.jpg").arg(closedPort);
    Probe p;
    p.parallel(1);
    p.grab({server.url("/missing.jpg"), refused, server.url("/gone.jpg"), server.url("/reset.jpg"),
            server.url("/moved.jpg"), server.url("/a.jpg")});
    ASSERT_TRUE(p.ready());
    EXPECT_TRUE(p.messages.errors.isEmpty()) << p.messages.errors.join('\n').toStdString();
    // A redirect is followed; an error page's length is no picture's size.
    EXPECT_EQ(p.sizes(), (QStringList{"404", "?", "410", "?", "2", "2"}));
    const std::vector<const Element*> divs = p.divs();
    EXPECT_TRUE(divs[0]->innerHTML().contains("title=\"HTTP/1.0 404 Not Found\""));
    EXPECT_TRUE(divs[1]->innerHTML().contains("title=\"Verbindung fehlgeschlagen\""));
    EXPECT_TRUE(divs[3]->innerHTML().contains("title=\"10054:Connection reset by peer\""));
    EXPECT_EQ(divs[2]->innerHTML().count("&nbsp;&nbsp;"), 1);
    EXPECT_TRUE(divs[0]->innerHTML().endsWith(SizeText::failureText("404", "HTTP/1.0 404 Not Found")));

    // A second run writes nothing twice.
    p.frame.checkImageSizes();
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"404", "?", "410", "?", "2", "2"}));
    for (const Element* d : p.divs())
        EXPECT_EQ(d->innerHTML().count("&nbsp;&nbsp;"), 1);
}

// An address a browser would not request is that cell's failure, and the walk goes on.
TEST(SizeProbe, RefusedAddressesAreTheirCellsFailure)
{
    LocalServer server([](int, const QByteArray& r) { return answer({{"a.jpg", {send(withLength(2048))}}}, r); });
    Probe p;
    p.parallel(1);
    p.grab({QStringLiteral("ftp://127.0.0.1:%1/x.jpg").arg(server.port()), QStringLiteral("http://127.0.0.1:6379/y.jpg"),
            QStringLiteral("http://127.0.0.1:6667/z.jpg"),
            QStringLiteral("http://user:pw@127.0.0.1:%1/a.jpg").arg(server.port())});
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"?", "?", "?", "2"}));
    const std::vector<const Element*> divs = p.divs();
    EXPECT_TRUE(divs[0]->innerHTML().contains("title=\"Keine http- oder https-Adresse\"")) << divs[0]->innerHTML().toStdString();
    EXPECT_TRUE(divs[1]->innerHTML().contains("title=\"Verbindung fehlgeschlagen\"")) << divs[1]->innerHTML().toStdString();
    EXPECT_TRUE(divs[2]->innerHTML().contains("title=\"Port 6667 gesperrt\"")) << divs[2]->innerHTML().toStdString();
    EXPECT_EQ(server.requestLines(), std::vector<QByteArray>{"GET /a.jpg HTTP/1.0"});
}

// A link named like a picture that answers with a page gets no size but that it is a page; what each
// link answered is noted for the view runs.
TEST(SizeProbe, ALinkThatAnswersWithAPageSaysSo)
{
    LocalServer server([](int, const QByteArray& r) {
        return answer({{"a.jpg", {send(withLength(2048))}},
                       {"File:Harbour.jpg",
                        {send("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Length: 5120\r\n\r\n"
                              "<html>")}},
                       {"empty.jpg", {send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n")}}},
                      r);
    });
    LinkAnswers answers;
    Probe p;
    p.parallel(1);
    p.frame.setLinkAnswers(&answers);
    p.grab({server.url("/wiki/File:Harbour.jpg"), server.url("/a.jpg"), server.url("/empty.jpg")});
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"page", "2", "page"}));
    EXPECT_TRUE(p.divs()[0]->innerHTML().contains("title=\"text/html\"")) << p.divs()[0]->innerHTML().toStdString();
    EXPECT_EQ(answers.kind(server.url("/wiki/File:Harbour.jpg")), LinkAnswers::Kind::Page);
    EXPECT_EQ(answers.kind(server.url("/a.jpg")), LinkAnswers::Kind::Picture);
}

TEST(SizeProbe, ASilentServerTimesOutAndTheWalkGoesOn)
{
    LocalServer server([](int, const QByteArray& r) {
        return answer({{"a.jpg", {send(withLength(4096))}}, {"silent.jpg", {hold()}}}, r);
    });
    Probe p;
    p.parallel(1);
    p.frame.sizeProbe().setIdleLimit(300);
    p.grab({server.url("/silent.jpg"), server.url("/a.jpg")});
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"?", "4"}));
    EXPECT_TRUE(p.divs()[0]->innerHTML().contains("title=\"10060:Connection timed out\""));
}

TEST(SizeProbe, OverHttps)
{
    TestPki pki;
    const TestPki::Trust trust(pki);
    LocalServer server(
        [](int, const QByteArray& r) {
            return answer({{"a.jpg", {send(withLength(1536))}}, {"b.jpg", {send(withLength(12345, picture("JPEG", 8, 6))), hold()}}}, r);
        },
        pki.server({QStringLiteral("127.0.0.1")}));
    LocalServer wrongName(Script{send(withLength(1))}, pki.server({QStringLiteral("other.test")}));
    Probe p;
    p.grab({server.url("/a.jpg"), wrongName.url("/c.jpg"), server.url("/b.jpg"), server.url("/x.jpg")});
    ASSERT_TRUE(p.ready());
    EXPECT_TRUE(p.messages.errors.isEmpty()) << p.messages.errors.join('\n').toStdString();
    EXPECT_EQ(p.sizes(), (QStringList{"2", "?", "12, 8 x 6", "404"}));
    EXPECT_TRUE(p.divs()[1]->innerHTML().contains("title=\"Zertifikat von 127.0.0.1 abgelehnt: "));
}

TEST(SizeProbe, ParallelRequestsWriteEachSizeIntoItsOwnDiv)
{
    // Nothing is answered until four requests have arrived: a walk of one request at a time would
    // get only errors.
    std::atomic<int> arrived{0};
    LocalServer server([&](int, const QByteArray& r) {
        ++arrived;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (arrived < 4 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (arrived < 4)
            return Script{send("HTTP/1.0 500 Not Parallel\r\n\r\n")};
        const QByteArray path = requestPath(r);
        const int n = path.mid(2, path.indexOf('.') - 2).toInt();
        return Script{pause(20 * (8 - n)), send(withLength(1024 * n))};
    });
    Probe p;
    ASSERT_EQ(p.settings.parallelRequests(), 4); // the default
    QStringList links;
    for (int n = 1; n <= 8; ++n)
        links << server.url(QStringLiteral("/p%1.jpg").arg(n));
    p.grab(links);
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
    // Started in document order.
    std::vector<QByteArray> lines = server.requestLines();
    ASSERT_EQ(lines.size(), 8u);
    for (size_t i = 4; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "GET /p" + QByteArray::number(int(i) + 1) + ".jpg HTTP/1.0");
    EXPECT_EQ(p.frame.sizeProbe().clientCount(), 4u);
}

TEST(SizeProbe, WritesOnlyIntoTheDivItAskedFor)
{
    // A div inside a div (an opened file can hold any page): the outer size is written behind the
    // inner div while the inner request still runs, and must not move where the inner size goes.
    LocalServer server([](int, const QByteArray& r) {
        return answer({{"a.jpg", {send(withLength(1024))}}, {"b.jpg", {pause(300), send(withLength(2048))}}}, r);
    });
    Settings settings;
    SizeProbe probe(settings);
    const auto doc = htmlDocument(QStringLiteral("<div id=\"%1\"><div id=\"%2\"></div></div><p>after</p>")
                                      .arg(server.url("/a.jpg"), server.url("/b.jpg")),
                                  QStringLiteral("file:///thumbs.html"));
    std::vector<Element*> divs;
    Element* after = nullptr;
    for (Element* e : doc->all()) {
        if (e->tagName() == "DIV")
            divs.push_back(e);
        if (e->tagName() == "P")
            after = e;
    }
    ASSERT_EQ(divs.size(), 2u);
    bool finished = false;
    probe.onFinished = [&] { finished = true; };
    probe.start(doc);
    ASSERT_TRUE(waitUntil([&] { return finished; }));
    EXPECT_EQ(divs[1]->innerHTML(), SizeText::sizeText("2"));
    EXPECT_EQ(divs[0]->innerHTML(), divs[1]->outerHTML() + SizeText::sizeText("1"));
    EXPECT_EQ(after->innerHTML(), "after");
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST(SizeProbe, ClosingThePaneDuringARunIsSilent)
{
    LocalServer server(Script{pause(30000)});
    auto p = std::make_unique<Probe>();
    p->grab({server.url("/a.jpg"), server.url("/b.jpg"), server.url("/c.jpg")});
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 3; }));
    p->frame.stop(); // as the main window does when it closes
    EXPECT_TRUE(p->messages.errors.isEmpty());
    p.reset();
    waitUntil([] { return false; }, 50);
}

TEST(SizeProbe, GetImageSizeDuringARunIsIgnored)
{
    LocalServer server(Script{pause(200), send(withLength(4096))});
    Probe p;
    p.grab({server.url("/a.jpg"), server.url("/b.jpg")});
    once(&p.frame, [&] { return server.requests().size() == 1; }, [&] { p.frame.checkImageSizes(); });
    ASSERT_TRUE(p.ready());
    EXPECT_TRUE(p.messages.errors.isEmpty());
    EXPECT_EQ(p.sizes(), (QStringList{"4", "4"}));
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST(SizeProbe, AGalleryOfManyPicturesRunsInOneLoop)
{
    LocalServer server(Script{send(withLength(3072))});
    Probe p;
    QStringList links;
    for (int i = 0; i < 400; ++i)
        links << server.url(QStringLiteral("/p%1.jpg").arg(i));
    p.grab(links);
    ASSERT_TRUE(waitUntil([&] { return p.frame.statusText() == "Ready"; }, 60000));
    EXPECT_EQ(server.requests().size(), 400u);
    EXPECT_EQ(p.sizes().count("3"), 400);
}
