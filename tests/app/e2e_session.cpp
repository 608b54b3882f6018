// A gallery whose full pictures need the user's login (a session cookie) and one whose pictures need a
// Referer of the gallery, on a server over TLS: grabbed from a running Chromium, every picture is sized
// by the probe and shown in the views; with "Use the browser's login" off, both are refused.
#include "app/ProgressForm.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsWindows.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "dom/Document.h"
#include "download/DownloadFrame.h"
#include "harvest/SizeProbe.h"
#include "harvest/ThumbsFrame.h"
#include "http/BrowserSession.h"
#include "settings/Settings.h"
#include "testing/LocalServer.h"
#include "testing/RecordingDialogs.h"
#include "testing/TestPki.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QBuffer>
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

using namespace pxt;
using namespace pxt::test;

namespace {

const QByteArray kSessionValue = "a1b2c3-session-of-the-user";

// A picture padded to 10 kB: the probe writes "10 kB".
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

QByteArray header(const QByteArray& request, const QByteArray& name)
{
    for (const QByteArray& line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
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
    if (path.startsWith("/login/") && header(request, "Cookie").contains("sid=" + kSessionValue))
        return reply("200 OK", "image/png", picture());
    if (path.startsWith("/hotlink/") && header(request, "Referer").startsWith(origin + "/"))
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
QString naturalWidths(TFrameDownload& pane)
{
    BrowserView* view = pane.WebBrowserDownload;
    const QString all = QStringLiteral("Array.from(document.images)");
    waitUntil([&] {
        return !view->Busy() && QUrl(view->LocationURL()).toLocalFile() == pane.FPageFile
               && evaluate(view, all + QStringLiteral(".every(i => i.complete) ? 'yes' : ''")) == "yes";
    }, 20000);
    return evaluate(view, all + QStringLiteral(".map(i => i.naturalWidth).join(',')"));
}

// The size texts of the thumbnail page's divs (after the file name), once the probe has written into
// every one of the page the grab wrote.
QStringList probedSizes(TFrameThumbs& thumbs, QSignalSpy& loaded)
{
    QStringList sizes;
    waitUntil([&] {
        if (loaded.isEmpty() || !thumbs.WebBrowserThumbs->LocationURL().endsWith(QLatin1String("/thumbs.html")))
            return false;
        if (thumbs.Probe->walking() || thumbs.WebBrowserThumbs->Busy())
            return false;
        sizes.clear();
        const std::shared_ptr<Document> doc = thumbs.ThumbsDocument();
        for (Element* e : doc->all()) {
            if (e->tagName() != QLatin1String("DIV") || !e->id().endsWith(QLatin1String(".jpg")))
                continue;
            QString text = e->innerHTML();
            text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
            text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
            sizes << text.mid(text.indexOf(QLatin1String(".jpg")) + 4).simplified();
        }
        return sizes.size() == 2 && !sizes.contains(QString());
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

} // namespace

TEST(SessionE2E, LoggedInAndHotlinkProtectedPicturesShowAndAreSized)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    TestPki pki;
    ASSERT_TRUE(trustInNss(home.path(), pki.caFile())) << "certutil could not make the NSS database";
    struct Home {
        QByteArray old = qgetenv("HOME");
        explicit Home(const QString& path) { qputenv("HOME", path.toLocal8Bit()); }
        ~Home() { qputenv("HOME", old); }
    } homeForTheTest(home.path());
    const TestPki::Trust trust(pki);

    QByteArray origin;
    LocalServer server([&](int, const QByteArray& r) { return site(r, origin); },
                       pki.server({QStringLiteral("127.0.0.1")}));
    origin = server.url(QString()).toLatin1();
    const QString gallery = server.url(QStringLiteral("/gallery.html"));

    QTemporaryDir profiles;
    GroupProcess chromium;
    ASSERT_TRUE(startHeadlessChromium(chromium, profiles.filePath(QStringLiteral("chromium")), gallery))
        << "Chromium announced no DevTools port";
    BrowserEndpointSources sources;
    sources.profileRoot = profiles.path();
    sources.fixedEndpoints = {};
    sources.settingsFile = profiles.filePath(QStringLiteral("none.ini"));
    DevToolsWindowList list(sources);
    std::shared_ptr<BrowserWindow> window;
    ASSERT_TRUE(waitUntil([&] {
        list.Refresh();
        for (int i = 0; i < list.Count(); ++i)
            if (list.Item(i)->LocationURL() == gallery && list.Item(i)->LocationName() == QLatin1String("Members"))
                window = list.Item(i);
        return window != nullptr;
    }, 30000)) << "the gallery did not load in Chromium";

    TempProgramFolder folder;
    RecordingDialogs messages;
    BrowserSession session;
    WebEngineViewFactory views(messages, &session);
    ASSERT_TRUE(WebEngineBrowserView::sharedProfile()->isOffTheRecord());
    Settings settings;
    TFormProgress progress;
    TFrameThumbs thumbs(views, settings, progress, messages);
    thumbs.setSession(&session);
    TFrameDownload download(views, settings, messages);
    download.setSession(&session);
    thumbs.resize(445, 600);
    download.resize(800, 600);
    thumbs.show();
    download.show();

    const QString big1 = server.url(QStringLiteral("/login/big1.jpg"));
    const QString big2 = server.url(QStringLiteral("/hotlink/big2.jpg"));
    auto grabAndView = [&](const char* stage, const QString& expectedSize, bool shown) {
        SCOPED_TRACE(stage);
        thumbs.StopThumbs();
        QSignalSpy loaded(thumbs.WebBrowserThumbs, &BrowserView::DocumentComplete);
        thumbs.GrabDocument(window->document(), false, window.get());
        EXPECT_TRUE(messages.errors.isEmpty()) << messages.errors.join('\n').toStdString();
        EXPECT_EQ(probedSizes(thumbs, loaded), QStringList({expectedSize, expectedSize}));

        thumbs.SelectAll();
        ASSERT_TRUE(download.StartView(thumbs.ThumbsDocument(), QStringLiteral("<HEAD><title>Members</title></HEAD>")));
        const QString widths = shown ? QStringLiteral("120,120") : QStringLiteral("0,0");
        EXPECT_EQ(naturalWidths(download), widths) << "the view page";

        // A clicked thumbnail is shown alone.
        download.ViewLink(big1);
        EXPECT_EQ(naturalWidths(download), shown ? QStringLiteral("120") : QStringLiteral("0"))
            << "a clicked thumbnail";
        download.ViewLink(big2);
        EXPECT_EQ(naturalWidths(download), shown ? QStringLiteral("120") : QStringLiteral("0"))
            << "a clicked thumbnail";
    };

    grabAndView("with the browser's login", QStringLiteral("10 kB"), true);

    // Nothing of the session reaches a file of the program or of its profile.
    QString where;
    for (const QString& place : {folder.path(), home.path(), WebEngineBrowserView::sharedProfile()->persistentStoragePath(),
                                 WebEngineBrowserView::sharedProfile()->cachePath()}) {
        if (!place.isEmpty())
            EXPECT_FALSE(fileHolds(place, kSessionValue, &where)) << "the session cookie is in " << where.toStdString();
    }

    SnapshotValues off;
    off.useBrowserLogin = false;
    settings.takeSnapshot(off);
    session.setEnabled(false);
    grabAndView("without it", QStringLiteral("403"), false);
}
