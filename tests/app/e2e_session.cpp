// Galleries on a server over TLS, grabbed from a running Chromium: one whose full pictures need the
// user's login (a session cookie) and one whose pictures need a Referer of the gallery, sized by the
// probe and shown in the views, and refused with "Use the browser's login" off; one whose pictures lie
// on another site, which gets the Referer the browser would send (the gallery's origin, never its
// whole address) and shows every picture either way; a gallery of srcset thumbnails grabbed again
// and again, each grab sized in every cell; and the pictures of a view saved into a folder.
#include "tests/app/GalleryInChromium.h"

#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace pxt;
using namespace pxt::test;

namespace {

const QByteArray kSessionValue = "a1b2c3-session-of-the-user";

// The site: the gallery sets the session cookie; /login/ serves only with it, /hotlink/ only with a
// Referer from the gallery's origin; thumbnails for everyone.
Script site(const QByteArray& request, const QByteArray& origin)
{
    const QByteArray path = requestPath(request);
    if (path == "/gallery.html") {
        return reply("200 OK", "text/html",
                     "<!DOCTYPE html><html><head><title>Members</title></head><body>"
                     "<a href=\"/login/big1.jpg\"><img src=\"/thumbs/t1.png\" width=\"96\" height=\"72\"></a>"
                     "<a href=\"/hotlink/big2.jpg\"><img src=\"/thumbs/t2.png\" width=\"96\" height=\"72\"></a>"
                     "</body></html>",
                     "Set-Cookie: sid=" + kSessionValue + "; Path=/; Secure; HttpOnly\r\n");
    }
    if (path.startsWith("/thumbs/"))
        return reply("200 OK", "image/png", picture());
    if (path.startsWith("/login/") && requestHeader(request, "Cookie").contains("sid=" + kSessionValue))
        return reply("200 OK", "image/png", picture());
    if (path.startsWith("/hotlink/") && requestHeader(request, "Referer").startsWith(origin + "/"))
        return reply("200 OK", "image/png", picture());
    return reply("403 Forbidden", "text/plain", "no");
}

class SessionE2E : public GalleryInChromium {};

} // namespace

TEST_F(SessionE2E, LoggedInAndHotlinkProtectedPicturesShowAndAreSized)
{
    QByteArray origin;
    serve([&](const QByteArray& r) { return site(r, origin); });
    origin = server->url(QString()).toLatin1();
    const QString gallery = server->url(QStringLiteral("/gallery.html"));
    ASSERT_NO_FATAL_FAILURE(openInChromium(gallery, QStringLiteral("Members")));
    ASSERT_NO_FATAL_FAILURE(showPanes());

    const QString big1 = server->url(QStringLiteral("/login/big1.jpg"));
    const QString big2 = server->url(QStringLiteral("/hotlink/big2.jpg"));
    auto grabAndView = [&](const char* stage, const QString& expectedSize, bool shown) {
        SCOPED_TRACE(stage);
        EXPECT_EQ(grab(2), QStringList({expectedSize, expectedSize}));

        thumbs->selectAll();
        ASSERT_TRUE(download->startView(thumbs->thumbnailsDocument(), QStringLiteral("<HEAD><title>Members</title></HEAD>")));
        const QString widths = shown ? QStringLiteral("120,120") : QStringLiteral("0,0");
        EXPECT_EQ(naturalWidths(*download), widths) << "the view page";

        // A clicked thumbnail is shown alone.
        download->viewLink(big1);
        EXPECT_EQ(naturalWidths(*download), shown ? QStringLiteral("120") : QStringLiteral("0"))
            << "a clicked thumbnail";
        download->viewLink(big2);
        EXPECT_EQ(naturalWidths(*download), shown ? QStringLiteral("120") : QStringLiteral("0"))
            << "a clicked thumbnail";
    };

    grabAndView("with the browser's login", QStringLiteral("10 kB, 120 x 90"), true);

    // Nothing of the session reaches a file of the program or of its profile.
    QString where;
    for (const QString& place : {folder.path(), home->path(), WebEngineBrowserView::sharedProfile()->persistentStoragePath(),
                                 WebEngineBrowserView::sharedProfile()->cachePath()}) {
        if (!place.isEmpty()) {
            EXPECT_FALSE(fileHolds(place, kSessionValue, &where)) << "the session cookie is in " << where.toStdString();
        }
    }

    loginOff();
    grabAndView("without it", QStringLiteral("403"), false);
}

// The gallery on 127.0.0.1 keeps its thumbnails and pictures on localhost, another site: the browser
// names only the gallery's origin there, and so do the views and the probe; the engine cancels no
// request for its Referer. Of the picture host's cookies only those for other sites' pages
// (SameSite=None) go there, and none of the gallery's.
TEST_F(SessionE2E, PicturesOnAnotherSiteGetTheGallerysOriginAsReferer)
{
    struct Seen {
        QByteArray referer;
        QByteArray cookie;
    };
    std::mutex mutex;
    QList<Seen> seen; // of every request the picture host got
    QString cdn;
    QString gallery;
    serve([&](const QByteArray& r) {
        const QByteArray path = requestPath(r);
        const bool onCdn = requestHeader(r, "Host").startsWith("localhost:");
        if (path == "/cookies" && onCdn) {
            // The user visited the picture host before: its cookies, then on to the gallery, which
            // sets one of its own.
            return Script {send("HTTP/1.0 302 Found\r\nLocation: " + gallery.toLatin1() + "\r\n"
                                "Set-Cookie: none=n1; Path=/; Secure; SameSite=None\r\n"
                                "Set-Cookie: lax=l1; Path=/; Secure; SameSite=Lax\r\n"
                                "Set-Cookie: strict=s1; Path=/; Secure; SameSite=Strict\r\n"
                                "Set-Cookie: plain=p1; Path=/; Secure\r\n"
                                "Content-Length: 0\r\n\r\n")};
        }
        if (path.startsWith("/album.html")) {
            QByteArray page = "<!DOCTYPE html><html><head><title>Harbour</title></head><body>";
            for (int i = 1; i <= 3; ++i) {
                const QByteArray n = QByteArray::number(i);
                page += "<a href=\"" + cdn.toLatin1() + "/cdn/big" + n + ".jpg\"><img src=\"" + cdn.toLatin1()
                        + "/cdn/t" + n + ".png\" width=\"96\" height=\"72\"></a>";
            }
            return reply("200 OK", "text/html", page + "</body></html>",
                         "Set-Cookie: gallery=g1; Path=/; Secure; SameSite=None\r\n");
        }
        if (path.startsWith("/cdn/") && onCdn) {
            const std::lock_guard<std::mutex> lock(mutex);
            seen << Seen {requestHeader(r, "Referer"), requestHeader(r, "Cookie")};
            return reply("200 OK", "image/png", picture());
        }
        return reply("404 Not Found", "text/plain", "no");
    });
    cdn = server->url(QString(), QStringLiteral("localhost"));
    gallery = server->url(QStringLiteral("/album.html?key=s3cret"));
    const QByteArray galleryOrigin = server->url(QStringLiteral("/")).toLatin1();
    ASSERT_NO_FATAL_FAILURE(openInChromium(cdn + QStringLiteral("/cookies"), QStringLiteral("Harbour"), gallery));
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard<std::mutex> lock(mutex);
        return seen.size() >= 3;
    }, 20000)) << "Chromium did not load the thumbnails";
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (const Seen& s : std::as_const(seen))
            EXPECT_EQ(s.referer, galleryOrigin) << "what the browser itself sends";
        seen.clear();
    }
    ASSERT_NO_FATAL_FAILURE(showPanes());

    for (const bool login : {true, false}) {
        SCOPED_TRACE(login ? "with the browser's login" : "without it");
        if (!login)
            loginOff();
        EXPECT_EQ(grab(3), QStringList(3, QStringLiteral("10 kB, 120 x 90")));
        const QString thumbnails = naturalWidthsOf(thumbs->view());
        EXPECT_EQ(thumbnails, QStringLiteral("120,120,120")) << "the thumbnail page";
        thumbs->selectAll();
        ASSERT_TRUE(download->startView(thumbs->thumbnailsDocument(), QStringLiteral("<HEAD><title>Harbour</title></HEAD>")));
        EXPECT_EQ(naturalWidths(*download), QStringLiteral("120,120,120")) << "the view page";

        const std::lock_guard<std::mutex> lock(mutex);
        EXPECT_FALSE(seen.isEmpty());
        for (const Seen& s : std::as_const(seen)) {
            EXPECT_FALSE(s.referer.contains("s3cret")) << s.referer.constData();
            if (login) {
                EXPECT_EQ(s.referer, galleryOrigin);
                EXPECT_EQ(s.cookie, "none=n1") << "the picture host's cookies for other sites' pages only";
            } else {
                EXPECT_EQ(s.cookie, "") << "nothing of the browser's session";
            }
        }
        seen.clear();
    }
    EXPECT_FALSE(engineLog.text().contains("invalid referrer")) << engineLog.text().constData();
}

// Thumbnails that are srcset pictures over TLS: every grab writes a size into every cell.
TEST_F(SessionE2E, EveryGrabSizesEveryPicture)
{
    constexpr int kCells = 12;
    constexpr int kGrabs = 40;
    std::atomic<int> shown {0}; // thumbnails Chromium has asked for
    serve([&](const QByteArray& r) {
        const QByteArray path = requestPath(r);
        if (path == "/srcset.html") {
            QByteArray page = "<!DOCTYPE html><html><head><title>Srcset</title></head><body>";
            for (int i = 1; i <= kCells; ++i) {
                const QByteArray n = QByteArray::number(i);
                page += "<a href=\"/big/p" + n + ".jpg\"><img src=\"/t/s" + n + "-240.png\" srcset=\"/t/s" + n
                        + "-240.png 240w, /t/s" + n + "-480.png 480w\" sizes=\"480px\"></a>\n";
            }
            return reply("200 OK", "text/html", page + "</body></html>");
        }
        if (path.startsWith("/t/")) {
            ++shown;
            const int width = path.endsWith("-480.png") ? 480 : 240;
            QImage image(width, width * 3 / 4, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return reply("200 OK", "image/png", png);
        }
        if (path.startsWith("/big/"))
            return reply("200 OK", "image/jpeg", picture());
        return reply("404 Not Found", "text/plain", "no");
    });
    const QString gallery = server->url(QStringLiteral("/srcset.html"));
    ASSERT_NO_FATAL_FAILURE(openInChromium(gallery, QStringLiteral("Srcset")));
    // The grab counts only thumbnails with a size: Chromium lays them out once they have loaded.
    ASSERT_TRUE(waitUntil([&] { return shown >= kCells; }, 20000)) << "Chromium did not load the thumbnails";
    ASSERT_NO_FATAL_FAILURE(showPanes());
    for (int i = 0; i < kGrabs; ++i) {
        SCOPED_TRACE("grab " + std::to_string(i + 1));
        EXPECT_EQ(grab(kCells), QStringList(kCells, QStringLiteral("10 kB, 120 x 90")));
        EXPECT_EQ(thumbs->statusText(), QStringLiteral("Ready"));
    }
}

// The pictures of a view run saved into a folder with the session: behind the login, behind a Referer
// check, from a picture page, the same picture twice, two pictures of one name and a missing one. The
// folder then holds exactly the server's bytes; Stop during a save leaves nothing partial.
TEST_F(SessionE2E, ThePicturesOfAViewAreSavedIntoAFolder)
{
    QByteArray origin;
    std::atomic<bool> slow {false};
    const QByteArray other = picture() + "another picture of the same name";
    serve([&](const QByteArray& r) {
        const QByteArray path = requestPath(r);
        if (slow && path.endsWith(".jpg"))
            return Script {pause(60000), send("HTTP/1.0 503 Slow\r\nContent-Length: 0\r\n\r\n")};
        if (path == "/saving.html") {
            QByteArray page = "<!DOCTYPE html><html><head><title>To Keep</title></head><body>";
            for (const char* link : {"/login/big1.jpg", "/hotlink/big2.jpg", "/pages/p1.html", "/a/same.jpg",
                                     "/b/same.jpg", "/c/same.jpg", "/missing.jpg"}) {
                page += "<a href=\"" + QByteArray(link) + "\"><img src=\"/thumbs/t.png\" width=\"96\" height=\"72\"></a>";
            }
            return reply("200 OK", "text/html", page + "</body></html>",
                         "Set-Cookie: sid=" + kSessionValue + "; Path=/; Secure; HttpOnly\r\n");
        }
        if (path == "/pages/p1.html")
            return reply("200 OK", "text/html", "<html><body><img src=\"/hotlink/inpage.jpg\" width=\"120\" height=\"90\"></body></html>");
        if (path == "/a/same.jpg" || path == "/b/same.jpg")
            return reply("200 OK", "image/png", picture());
        if (path == "/c/same.jpg")
            return reply("200 OK", "image/png", other);
        if (path == "/missing.jpg")
            return reply("404 Not Found", "text/plain", "no");
        return site(r, origin);
    });
    origin = server->url(QString()).toLatin1();
    const QString gallery = server->url(QStringLiteral("/saving.html"));
    ASSERT_NO_FATAL_FAILURE(openInChromium(gallery, QStringLiteral("To Keep")));
    ASSERT_NO_FATAL_FAILURE(showPanes());
    grab(6);
    thumbs->selectAll();
    ASSERT_TRUE(download->startView(thumbs->thumbnailsDocument(), QStringLiteral("<HEAD><title>To Keep</title></HEAD>")));
    ASSERT_EQ(naturalWidths(*download), QStringLiteral("120,120,120,120,120,120,0")) << "the view page";

    QTemporaryDir target;
    const QString folder = target.path() + QStringLiteral("/To Keep");
    ASSERT_TRUE(download->savePictures(folder));
    ASSERT_TRUE(waitUntil([&] { return !messages.informations.isEmpty(); }, 30000));
    EXPECT_EQ(messages.informations.constLast(),
              QStringLiteral("5 pictures saved in %1.\n1 was already there.\n\nNot saved:\nmissing.jpg: 404 Not Found").arg(folder));
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    EXPECT_EQ(files, QStringList({"big1.jpg", "big2.jpg", "inpage.jpg", "same (2).jpg", "same.jpg"}));
    for (const QString& name : files) {
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), name == QLatin1String("same (2).jpg") ? other : picture()) << name.toStdString();
    }
    EXPECT_TRUE(messages.errors.isEmpty()) << messages.errors.join('\n').toStdString();

    // Stop while every picture is still on its way: nothing is left in the folder.
    slow = true;
    messages.informations.clear();
    const QString stopped = target.path() + QStringLiteral("/stopped");
    ASSERT_TRUE(download->savePictures(stopped));
    ASSERT_TRUE(waitUntil([&] { return download->statusText().startsWith(QLatin1String("Saving ")); }));
    download->stopButton()->click();
    EXPECT_FALSE(download->isSaving());
    ASSERT_TRUE(waitUntil([&] { return !messages.informations.isEmpty(); }));
    EXPECT_EQ(messages.informations.constLast(), QStringLiteral("0 pictures saved in %1.\nStopped: 7 not saved.").arg(stopped));
    EXPECT_EQ(QDir(stopped).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
}
