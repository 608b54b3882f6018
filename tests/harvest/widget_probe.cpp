#include "tests/harvest/ThumbsPane.h"
#include "testing/LocalServer.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <map>

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

struct Probe : ThumbsPane {

    // Grabs a gallery whose thumbnails link to the given addresses; the probe then starts by itself.
    void grab(const QStringList& links)
    {
        QString body;
        for (const QString& l : links)
            body += QStringLiteral("<a href=\"%1\"><img src=\"t.jpg\" width=100 height=80></a>").arg(l);
        frame.GrabDocument(Document::fromHtml(body, QStringLiteral("http://gallery.test/")), false);
    }
    bool ready() { return waitUntil([&] { return !frame.WebBrowserThumbs->Busy() && frame.statusText() == "Ready"; }); }

    // The size text of each thumbnail, in page order ("-" for none).
    QStringList sizes()
    {
        QStringList out;
        for (const Element* e : frame.ThumbsDocument()->all()) {
            if (e->tagName() != "DIV")
                continue;
            const QString inner = e->innerHTML();
            const qsizetype at = inner.indexOf("&nbsp;&nbsp;");
            out << (at < 0 ? QStringLiteral("-") : inner.mid(at + 12, inner.indexOf(" kB", at) - at - 12));
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
                       {"c.gif", {send(withLength(12345)), hold()}}, // closed by the probe once it has the length
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
    EXPECT_EQ(p.sizes(), (QStringList{"2", "-", "2", "12", "0", "-", "0"}));
    EXPECT_EQ(server.requests().size(), 6u); // the page link is never asked for
    EXPECT_TRUE(p.frame.FStatusText.isEmpty());

    // A second run writes nothing twice.
    p.frame.CheckImageSizes();
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(p.sizes(), (QStringList{"2", "-", "2", "12", "0", "-", "0"}));
    EXPECT_EQ(server.requests().size(), 12u);

    // The exact size text.
    const Element* div = nullptr;
    for (const Element* e : p.frame.ThumbsDocument()->all())
        if (e->tagName() == "DIV" && !div)
            div = e;
    ASSERT_TRUE(div);
    EXPECT_TRUE(div->innerHTML().endsWith(
        "<font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-size:11px; color:#000000;\">&nbsp;&nbsp;2 kB </font>"));
}

TEST(SizeProbe, OnlyLinkThumbnailsSendNothing)
{
    LocalServer server(Script{send(withLength(1))});
    Probe p;
    p.grab({server.url("/a.html"), server.url("/show.php?id=1")});
    ASSERT_TRUE(p.ready());
    EXPECT_TRUE(server.requests().empty());
}

TEST(SizeProbe, StopDuringAWait)
{
    LocalServer server(Script{pause(30000)});
    Probe p;
    p.grab({server.url("/a.jpg"), server.url("/b.jpg")});
    QString statusAfterStop;
    once(&p.frame, [&] { return server.requests().size() == 1; }, [&] {
        p.frame.RxSpeedButton1->click();
        statusAfterStop = p.frame.statusText();
    });
    ASSERT_TRUE(waitUntil([&] { return !p.messages.errors.isEmpty(); }));
    EXPECT_EQ(statusAfterStop, "Ready");
    EXPECT_EQ(p.messages.errors, QStringList{"Socket-readln abgebrochen"});
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(p.frame.statusText(), "Ready");
}

TEST(SizeProbe, AClickedLinkEndsTheRunAfterTheCurrentResponse)
{
    LocalServer server(Script{pause(300), send(withLength(2048))});
    Probe p;
    QStringList diverted;
    QObject::connect(&p.frame, &TFrameThumbs::LinkDiverted, [&](const QString& a) { diverted << a; });
    p.grab({server.url("/a.jpg"), server.url("/b.jpg"), server.url("/c.jpg")});
    once(&p.frame, [&] { return server.requests().size() == 1; },
         [&] { p.frame.WebBrowserThumbs->Navigate(server.url("/b.jpg")); });
    ASSERT_TRUE(p.ready());
    EXPECT_EQ(diverted, QStringList{server.url("/b.jpg")});
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(p.messages.errors.isEmpty());
}

TEST(SizeProbe, ClientErrorsReachTheErrorBox)
{
    Probe p;
    p.grab({"http://127.0.0.1:1/a.jpg", "http://127.0.0.1:1/b.jpg"});
    ASSERT_TRUE(waitUntil([&] { return !p.messages.errors.isEmpty(); }));
    EXPECT_EQ(p.messages.errors, QStringList{"Verbindung fehlgeschlagen"});
    EXPECT_EQ(p.frame.statusText(), "Checking File-Size...");
}

TEST(SizeProbe, GetImageSizeDuringARunIsIgnored)
{
    LocalServer server(Script{pause(200), send(withLength(4096))});
    Probe p;
    p.grab({server.url("/a.jpg"), server.url("/b.jpg")});
    once(&p.frame, [&] { return server.requests().size() == 1; }, [&] { p.frame.CheckImageSizes(); });
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
