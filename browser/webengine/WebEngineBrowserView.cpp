#include "browser/webengine/WebEngineBrowserView.h"

#include "browser/webengine/WebEngineLiveChannel.h"
#include "browser/webengine/WebEnginePage.h"
#include "browser/webengine/WebEnginePageScripts.h"
#include "core/Error.h"
#include "core/Dialogs.h"

#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace pxt {

// All views share the engine's default profile (off the record in this Qt). Its save downloads are
// the ones QWebEnginePage::save starts: they are accepted, other downloads are not.
QWebEngineProfile* WebEngineBrowserView::sharedProfile()
{
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    static bool wired = false;
    if (!wired) {
        wired = true;
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                         [](QWebEngineDownloadRequest* download) {
                             if (!download->isSavePageDownload())
                                 return;
                             download->accept();
                             WebEnginePage::routeSave(download);
                         });
    }
    return profile;
}

void WebEngineBrowserView::drawInSoftware()
{
    // Thumbnail and view pages are still pictures: a GL stack (Mesa's with LLVM: some 60 MB) buys
    // them nothing.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}

namespace {

// How long a load waits for the one it replaces to report its end.
constexpr int kPendingStartMs = 2000;

} // namespace

WebEngineBrowserView::WebEngineBrowserView(Dialogs& dialogs, QWidget* parent) : BrowserView(parent), m_dialogs(dialogs)
{
    m_view = new QWebEngineView(parent);
    m_page = new WebEnginePage(this, sharedProfile(), m_view);
    // Generated pages are local files that show pictures from the web and from the disk (the engine
    // shows no local picture without file access). A local page runs no script (see allowScriptsFor),
    // so nothing on it can read what it reaches.
    QWebEngineSettings* settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    m_view->setPage(m_page);

    connect(m_page, &QWebEnginePage::loadProgress, this,
            [this](int progress) { guarded(m_dialogs, [&] { Q_EMIT loadProgress(progress, 100); }); });
    // loadingChanged follows each loadFinished at once and tells a completed load (the error page
    // included) from a stopped one: a Stop, a load replaced by another, a cancelled navigation.
    connect(m_page, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) { onLoadingChanged(info); });
    m_saveStart.setSingleShot(true);
    m_pendingStart.setSingleShot(true);
    connect(&m_pendingStart, &QTimer::timeout, this, &WebEngineBrowserView::startPendingLoad);
    connect(&m_saveStart, &QTimer::timeout, this, &WebEngineBrowserView::saveNeverStarted);
    connect(m_page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
        const QUrl url = request.requestedUrl();
        const bool userClicked = request.isUserInitiated();
        guarded(m_dialogs, [&] { openInNewWindow(url, userClicked); });
    });
}

WebEngineBrowserView::~WebEngineBrowserView()
{
    delete m_view.data(); // takes the page with it
}

QWidget* WebEngineBrowserView::widget() { return m_view; }

QWebEnginePage* WebEngineBrowserView::page() const { return m_page; }

QUrl WebEngineBrowserView::addressToUrl(const QString& address)
{
    const QString text = address.trimmed();
    if (text.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(text);
    const QUrl url(text);
    // A scheme of one letter would be a drive, not a protocol; fromUserInput makes the rest whole
    // ("www.example.com" becomes an http address).
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromUserInput(text);
}

void WebEngineBrowserView::navigate(const QString& address)
{
    if (!m_page)
        return;
    // Asked here rather than when the engine asks: the engine drops a running load as soon as a new
    // one is requested, even one that is then refused. A cancelled Navigate leaves everything as it was.
    const QUrl url = addressToUrl(address);
    const QPointer<WebEngineBrowserView> self = this;
    if (!offerNavigation(url.toString(), true) || !self || !m_page)
        return;
    // The engine may report nothing of a load started while a local page of the view still loads (a
    // grab's blank page, then its thumbnail page): neither its start nor its end. The local load is
    // stopped first, and this one starts once the engine has reported that (or has not in time). A web
    // page that still loads is replaced at once: the engine reports that as it should.
    if (m_loading && m_loadingUrl.isLocalFile()) {
        m_pendingUrl = url;
        m_pendingStart.start(kPendingStartMs);
        m_page->triggerAction(QWebEnginePage::Stop);
        return;
    }
    startLoad(url);
}

void WebEngineBrowserView::startLoad(QUrl url)
{
    m_pendingUrl.clear();
    m_pendingStart.stop();
    if (!m_page)
        return;
    m_approvedUrl = url;
    allowScriptsFor(url);
    m_page->load(url);
}

// The load Navigate left waiting, now that the one before it has ended (or has not said so in time).
void WebEngineBrowserView::startPendingLoad()
{
    if (!m_pendingUrl.isEmpty())
        startLoad(m_pendingUrl);
}

void WebEngineBrowserView::stop()
{
    m_approvedUrl.clear();
    m_pendingUrl.clear();
    m_pendingStart.stop();
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowserView::refresh()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Reload);
}

bool WebEngineBrowserView::isBusy() const { return m_page && m_loading; }

QString WebEngineBrowserView::locationUrl() const { return m_page ? m_page->url().toString() : QString(); }

bool WebEngineBrowserView::offerNavigation(const QString& address, bool isMainFrame)
{
    Q_UNUSED(isMainFrame);
    bool cancel = false;
    ++m_offeringNavigation;
    guarded(m_dialogs, [&] { Q_EMIT navigationRequested(address, &cancel); });
    --m_offeringNavigation;
    return !cancel;
}

bool WebEngineBrowserView::engineAsksNavigation(const QUrl& url, bool isMainFrame)
{
    // The load Navigate has just offered and started: already answered.
    if (isMainFrame && !m_approvedUrl.isEmpty() && url == m_approvedUrl) {
        m_approvedUrl.clear();
        return true;
    }
    // The address as the page has it: the default form would decode its percent escapes.
    const bool accepted = offerNavigation(url.toString(QUrl::FullyEncoded), isMainFrame);
    if (accepted && isMainFrame && m_page)
        allowScriptsFor(url);
    return accepted;
}

bool WebEngineBrowserView::isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Scripts run on web pages only (a gallery may need them to show its pictures). The program's own
// pages and the files it opens run none; its reads and writes run in a world of their own, which
// this does not touch.
void WebEngineBrowserView::allowScriptsFor(const QUrl& url)
{
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, isWebAddress(url));
}

void WebEngineBrowserView::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        m_loading = true;
        m_loadingUrl = info.url();
        m_shown.reset();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        m_loading = false;
        m_approvedUrl.clear();
        if (!m_pendingUrl.isEmpty()) {
            startPendingLoad();
            return;
        }
        // The page that stays keeps its own rule, whatever the stopped load had asked for.
        if (m_page)
            allowScriptsFor(m_page->url());
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        m_loading = false;
        m_approvedUrl.clear();
        // Replaced by a load waiting for it: that one's end is the page's.
        if (!m_pendingUrl.isEmpty()) {
            startPendingLoad();
            return;
        }
        guarded(m_dialogs, [&] { Q_EMIT documentComplete(); });
        return;
    }
}

std::shared_ptr<Document> WebEngineBrowserView::document()
{
    if (!m_page)
        throw Error(QStringLiteral("The browser view is closed: there is no page to read."));
    // The engine delivers no script result while it waits for a navigation decision.
    if (m_offeringNavigation > 0)
        throw Error(QStringLiteral("The page cannot be read while a navigation is being decided."));

    // The document read last, brought up to date, while the page has changed no more than its
    // inputs and images: a page of 10,000 thumbnails costs a whole read only once.
    const QPointer<WebEngineBrowserView> self = this;
    if (const std::shared_ptr<Document> shown = m_shown) {
        try {
            if (shown->refresh() && self && m_shown == shown)
                return shown;
        } catch (const Error&) {
            // read afresh below
        }
        if (!self)
            throw Error(QStringLiteral("The browser view was closed while its page was being read."));
        m_shown.reset();
    }

    const QPointer<QWebEnginePage> page(m_page.data());
    SerializerOptions options;
    options.watch = true;
    const QByteArray json = readText(page, serializerScript(options), m_documentTimeoutMs);
    if (!self || !page)
        throw Error(QStringLiteral("The browser view was closed while its page was being read."));
    std::shared_ptr<Document> doc = Document::fromJson(json, std::make_shared<WebEngineLiveChannel>(page));
    if (!m_loading)
        m_shown = doc;
    return doc;
}

// Only a link the user clicked on a page of the program (the web pages a view run loads are never
// asked), and only to a web address: a page must not reach the desktop on its own.
void WebEngineBrowserView::openInNewWindow(const QUrl& url, bool userClicked)
{
    if (!userClicked || !m_page || !m_page->url().isLocalFile() || !isWebAddress(url))
        return;
    m_dialogs.openUrl(url);
}

} // namespace pxt
