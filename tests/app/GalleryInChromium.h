// A gallery on a local server over TLS (the test authority trusted in a HOME of its own), opened in a
// headless Chromium, and the program's two panes on one session: grabbed from the browser, sized by
// the probe and shown in the views. What the end-to-end tests of real galleries share.
#pragma once

#include "app/ProgressWindow.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsWindows.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "dom/Document.h"
#include "harvest/LinkAnswers.h"
#include "harvest/SizeProbe.h"
#include "http/BrowserSession.h"
#include "panes/ThumbnailsPane.h"
#include "panes/ViewerPane.h"
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
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>

namespace pxt::test {

// A picture of 120 x 90 padded to 10 kB: the probe writes "10 kB, 120 x 90".
inline QByteArray picture()
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

inline Script reply(const QByteArray& status, const QByteArray& type, const QByteArray& body, const QByteArray& extra = {})
{
    return {send("HTTP/1.0 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\nCache-Control: no-store\r\n" + extra + "\r\n" + body)};
}

// A HOME whose NSS database trusts the test authority: both Chromium and the embedded views read it.
inline bool trustInNss(const QString& home, const QString& caFile)
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
inline QString evaluate(BrowserView* view, const QString& expression)
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

// The natural widths of a view's pictures, once each has loaded or failed.
inline QString naturalWidthsOf(BrowserView* view)
{
    const QString all = QStringLiteral("Array.from(document.images)");
    waitUntil([&] { return !view->isBusy() && evaluate(view, all + QStringLiteral(".every(i => i.complete) ? 'yes' : ''")) == "yes"; },
              20000);
    return evaluate(view, all + QStringLiteral(".map(i => i.naturalWidth).join(',')"));
}

// The natural widths of the pictures of the view page the pane wrote last, once its run has ended
// and each picture has loaded or failed.
inline QString naturalWidths(ViewerPane& pane)
{
    BrowserView* view = pane.view();
    const QString all = QStringLiteral("Array.from(document.images)");
    waitUntil([&] {
        return !view->isBusy() && pane.run().atEnd() && !pane.pageFile().isEmpty()
               && QUrl(view->locationUrl()).toLocalFile() == pane.pageFile()
               && evaluate(view, all + QStringLiteral(".every(i => i.complete) ? 'yes' : ''")) == "yes";
    }, 20000);
    return evaluate(view, all + QStringLiteral(".map(i => i.naturalWidth).join(',')"));
}

// The size texts of the thumbnail page's divs (after the file name), once the probe has written into
// every one of the page the grab wrote.
inline QStringList probedSizes(ThumbnailsPane& thumbs, QSignalSpy& loaded, int cells = 2)
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

inline bool fileHolds(const QString& folder, const QByteArray& text, QString* where)
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
class GalleryInChromium : public ::testing::Test {
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
        thumbs->setLinkAnswers(&answers);
        download = std::make_unique<ViewerPane>(*views, settings, messages);
        download->setSession(&session);
        download->setLinkAnswers(&answers);
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
    LinkAnswers answers;
    Settings settings;
    ProgressWindow progress;
    std::unique_ptr<WebEngineViewFactory> views;
    std::unique_ptr<ThumbnailsPane> thumbs;
    std::unique_ptr<ViewerPane> download;
};

} // namespace pxt::test
