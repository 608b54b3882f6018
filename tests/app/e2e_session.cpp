// Galleries on a server over TLS, grabbed from a running Chromium: one whose full pictures need the
// user's login (a session cookie) and one whose pictures need a Referer of the gallery, sized by the
// probe and shown in the views, and refused with "Use the browser's login" off; one whose pictures lie
// on another site, which gets the Referer the browser would send (the gallery's origin, never its
// whole address) and shows every picture either way; and a gallery of srcset thumbnails grabbed again
// and again, each grab sized in every cell.
#include "app/ProgressWindow.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsWindows.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "dom/Document.h"
#include "panes/ViewerPane.h"
#include "harvest/SizeProbe.h"
#include "panes/ThumbnailsPane.h"
#include "http/BrowserSession.h"
#include "settings/Settings.h"
#include "testing/LocalServer.h"
#include "testing/RecordingDialogs.h"
#include "testing/TestPki.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QDirIterator>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>

using namespace pxt;
using namespace pxt::test;

namespace {

const QByteArray kSessionValue = "a1b2c3-session-of-the-user";

// A picture of 120 x 90 padded to 10 kB: the probe writes "10 kB, 120 x 90".
QByteArray picture()
{
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    png.append(10240 - png.size(), '\0');
    return png;
}

Script reply(const QByteArray& status, const QByteArray& type, const QByteArray& body, const QByteArray& extra = {})
{
    return {send("HTTP/1.0 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\nCache-Control: no-store\r\n" + extra + "\r\n" + body)};
}

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

// A HOME whose NSS database trusts the test authority: both Chromium and the embedded views read it.
bool trustInNss(const QString& home, const QString& caFile)
{
    const QString db = home + QStringLiteral("/.pki/nssdb");
    QDir().mkpath(db);
    auto run = [](const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("certutil"), args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    return run({QStringLiteral("-N"), QStringLiteral("-d"), QStringLiteral("sql:") + db, QStringLiteral("--empty-password")})
           && run({QStringLiteral("-A"), QStringLiteral("-d"), QStringLiteral("sql:") + db, QStringLiteral("-n"),
                   QStringLiteral("pixtrawl-test"), QStringLiteral("-t"), QStringLiteral("C,,"), QStringLiteral("-i"),
                   caFile});
}

// Runs an expression in a world of the test's own in the view's page (local pages run no page script)
// and returns its value as a string.
QString evaluate(BrowserView* view, const QString& expression)
{
    QWebEnginePage* page = static_cast<WebEngineBrowserView*>(view)->page();
    QString result;
    bool done = false;
    QEventLoop loop;
    page->runJavaScript(expression, QWebEngineScript::UserWorld, [&](const QVariant& v) {
        result = v.toString();
        done = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    return result;
}

// The natural widths of the pictures of the view page the pane wrote, once each has loaded or failed.
// The natural widths of a view's pictures, once each has loaded or failed.
QString naturalWidthsOf(BrowserView* view)
{
    const QString all = QStringLiteral("Array.from(document.images)");
    waitUntil([&] { return !view->isBusy() && evaluate(view, all + QStringLiteral(".every(i => i.complete) ? 'yes' : ''")) == "yes"; },
              20000);
    return evaluate(view, all + QStringLiteral(".map(i => i.naturalWidth).join(',')"));
}

QString naturalWidths(ViewerPane& pane)
{
    BrowserView* view = pane.view();
    const QString all = QStringLiteral("Array.from(document.images)");
    waitUntil([&] {
        return !view->isBusy() && QUrl(view->locationUrl()).toLocalFile() == pane.pageFile()
               && evaluate(view, all + QStringLiteral(".every(i => i.complete) ? 'yes' : ''")) == "yes";
    }, 20000);
    return evaluate(view, all + QStringLiteral(".map(i => i.naturalWidth).join(',')"));
}

// The size texts of the thumbnail page's divs (after the file name), once the probe has written into
// every one of the page the grab wrote.
QStringList probedSizes(ThumbnailsPane& thumbs, QSignalSpy& loaded, int cells = 2)
{
    QStringList sizes;
    waitUntil([&] {
        if (loaded.isEmpty() || !thumbs.view()->locationUrl().endsWith(QLatin1String("/thumbs.html")))
            return false;
        if (thumbs.sizeProbe().walking() || thumbs.view()->isBusy())
            return false;
        sizes.clear();
        const std::shared_ptr<Document> doc = thumbs.thumbnailsDocument();
        for (Element* e : doc->all()) {
            if (e->tagName() != QLatin1String("DIV") || !e->id().endsWith(QLatin1String(".jpg")))
                continue;
            QString text = e->innerHTML();
            text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
            text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
            sizes << text.mid(text.indexOf(QLatin1String(".jpg")) + 4).simplified();
        }
        return sizes.size() == cells && !sizes.contains(QString());
    }, 30000);
    return sizes;
}

bool fileHolds(const QString& folder, const QByteArray& text, QString* where)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(text)) {
            *where = f.fileName();
            return true;
        }
    }
    return false;
}

// What the program's process writes to its standard error from now on (the engine logs there), in a
// file of its own; given back when it goes.
class StandardErrorCapture {
public:
    StandardErrorCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(2);
        ::dup2(m_file.handle(), 2);
    }
    ~StandardErrorCapture()
    {
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        const QByteArray text = this->text();
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    }
    QByteArray text() const
    {
        std::fflush(stderr);
        QFile f(m_file.fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

// A HOME that trusts the test authority, a server over TLS for 127.0.0.1 and localhost (two sites) that
// plays the given site, a headless Chromium on a page of it, and the program's panes on one session.
class SessionE2E : public ::testing::Test {
protected:
    using Site = std::function<Script(const QByteArray& request)>;

    // One HOME and one authority for every test: the engine reads its trust once, at its start.
    static void SetUpTestSuite()
    {
        home = new QTemporaryDir;
        pki = new TestPki;
        ASSERT_TRUE(home->isValid());
        ASSERT_TRUE(trustInNss(home->path(), pki->caFile())) << "certutil could not make the NSS database";
        oldHome = new QByteArray(qgetenv("HOME"));
        qputenv("HOME", home->path().toLocal8Bit());
        trust = new TestPki::Trust(*pki);
    }
    static void TearDownTestSuite()
    {
        delete trust;
        qputenv("HOME", *oldHome);
        delete oldHome;
        delete pki;
        delete home;
    }

    void serve(Site play)
    {
        server = std::make_unique<LocalServer>([play](int, const QByteArray& r) { return play(r); },
                                               pki->server({QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}));
    }

    // Chromium on the address, its window with the title found in the list (at the address a redirect
    // leads to, where one is given).
    void openInChromium(const QString& address, const QString& title, const QString& landing = {})
    {
        ASSERT_TRUE(startHeadlessChromium(chromium, profiles.filePath(QStringLiteral("chromium")), address))
            << "Chromium announced no DevTools port";
        BrowserEndpointSources sources;
        sources.profileRoot = profiles.path();
        sources.fixedEndpoints = {};
        sources.settingsFile = profiles.filePath(QStringLiteral("none.ini"));
        list = std::make_unique<DevToolsWindowList>(sources);
        ASSERT_TRUE(waitUntil([&] {
            list->refresh();
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->locationUrl() == (landing.isEmpty() ? address : landing)
                    && list->item(i)->locationName() == title)
                    window = list->item(i);
            return window != nullptr;
        }, 30000)) << "the gallery did not load in Chromium";
    }

    void showPanes()
    {
        views = std::make_unique<WebEngineViewFactory>(messages, &session);
        ASSERT_TRUE(WebEngineBrowserView::sharedProfile()->isOffTheRecord());
        thumbs = std::make_unique<ThumbnailsPane>(*views, settings, progress, messages);
        thumbs->setSession(&session);
        download = std::make_unique<ViewerPane>(*views, settings, messages);
        download->setSession(&session);
        thumbs->resize(445, 600);
        download->resize(800, 600);
        thumbs->show();
        download->show();
    }

    void loginOff()
    {
        SnapshotValues off;
        off.useBrowserLogin = false;
        settings.takeSnapshot(off);
        session.setEnabled(false);
    }

    // Grabs the window into the thumbnail page: the probe's size texts once it wrote into every cell.
    QStringList grab(int cells)
    {
        thumbs->stop();
        QSignalSpy loaded(thumbs->view(), &BrowserView::documentComplete);
        thumbs->grabDocument(window->document(), false, window.get());
        EXPECT_TRUE(messages.errors.isEmpty()) << messages.errors.join('\n').toStdString();
        return probedSizes(*thumbs, loaded, cells);
    }

    static inline QTemporaryDir* home = nullptr;
    static inline TestPki* pki = nullptr;
    static inline TestPki::Trust* trust = nullptr;
    static inline QByteArray* oldHome = nullptr;
    StandardErrorCapture engineLog;
    std::unique_ptr<LocalServer> server;
    QTemporaryDir profiles;
    GroupProcess chromium;
    std::unique_ptr<DevToolsWindowList> list;
    std::shared_ptr<BrowserWindow> window;
    TempProgramFolder folder;
    RecordingDialogs messages;
    BrowserSession session;
    Settings settings;
    ProgressWindow progress;
    std::unique_ptr<WebEngineViewFactory> views;
    std::unique_ptr<ThumbnailsPane> thumbs;
    std::unique_ptr<ViewerPane> download;
};

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
