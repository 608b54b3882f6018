#include "browser/webengine/WebEngineBrowserView.h"

#include "core/Error.h"
#include "core/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <optional>

namespace pxt {

// The page of a view: hands the engine's navigation questions and its own Save Page command to the view.
class WebEnginePage : public QWebEnginePage {
public:
    WebEnginePage(WebEngineBrowserView* owner, QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent), m_owner(owner) {}

    WebEngineBrowserView* owner() const { return m_owner; }

    // A save download of a page of ours goes to that page's view, which reports its outcome.
    static void routeSave(QWebEngineDownloadRequest* download)
    {
        if (auto* page = dynamic_cast<WebEnginePage*>(download->page()))
            if (page->m_owner)
                page->m_owner->watchSave(download);
    }

    void triggerAction(WebAction action, bool checked = false) override
    {
        // The context menu's "Save page" goes through the view's own dialog, so that no two saves
        // of one page ever run at once (the engine does not survive that).
        if (action == SavePage && m_owner) {
            guarded(m_owner->m_dialogs, [this] { m_owner->SaveAs(); });
            return;
        }
        QWebEnginePage::triggerAction(action, checked);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        return m_owner ? m_owner->engineAsksNavigation(url, isMainFrame) : true;
    }

private:
    QPointer<WebEngineBrowserView> m_owner;
};

namespace {

// Writes on a live document go to the page it was read from, in the world of the serializer.
// The engine runs the scripts in the order they were sent.
// The writes on a page's documents, sent as one script per turn of the event loop: a command that
// checks 10,000 boxes costs one round trip, not 10,000. Reading the page sends what is pending first,
// so a read always sees every earlier write.
class WebEngineWriteQueue : public QObject {
public:
    static WebEngineWriteQueue* of(QWebEnginePage* page)
    {
        auto* queue = page->findChild<WebEngineWriteQueue*>(QString(), Qt::FindDirectChildrenOnly);
        return queue ? queue : new WebEngineWriteQueue(page);
    }
    void add(const QString& script)
    {
        endChecks();
        // One failing write must not cost the others of the batch.
        m_pending += QStringLiteral("try{") + script + QStringLiteral("}catch(e){}\n");
        schedule();
    }
    // Boxes set one after the other to the same state go as one list.
    void addCheck(int snapshot, int handle, bool on)
    {
        if (m_checkHandles.isEmpty() || snapshot != m_checkSnapshot || on != m_checkOn) {
            endChecks();
            m_checkSnapshot = snapshot;
            m_checkOn = on;
        } else {
            m_checkHandles += QLatin1Char(',');
        }
        m_checkHandles += QString::number(handle);
        schedule();
    }
    void flush()
    {
        m_scheduled = false;
        endChecks();
        if (m_pending.isEmpty())
            return;
        m_page->runJavaScript(m_pending, QWebEngineScript::ApplicationWorld);
        m_pending.clear();
    }

private:
    explicit WebEngineWriteQueue(QWebEnginePage* page) : QObject(page), m_page(page) {}
    void schedule()
    {
        if (!m_scheduled) {
            m_scheduled = true;
            QTimer::singleShot(0, this, &WebEngineWriteQueue::flush);
        }
    }
    void endChecks()
    {
        if (m_checkHandles.isEmpty())
            return;
        m_pending += QStringLiteral("try{globalThis.__pxt&&__pxt.checks(%1,[%2],%3)}catch(e){}\n")
                         .arg(m_checkSnapshot)
                         .arg(m_checkHandles, m_checkOn ? QLatin1String("true") : QLatin1String("false"));
        m_checkHandles.clear();
    }
    QWebEnginePage* m_page;
    QString m_pending;
    QString m_checkHandles; // the boxes of the list under way, comma-separated
    int m_checkSnapshot = -1;
    bool m_checkOn = false;
    bool m_scheduled = false;
};


// How often a wait runs the deletions posted within it.
constexpr int kDeletionsMs = 20;

// Runs the script in the program's world after the writes still pending, and waits for its value in
// a local loop that takes no user input, timeoutMs at most. Null when no value came in time or the
// page went away meanwhile.
std::optional<QVariant> runAndWait(QWebEnginePage* target, const QString& script, int timeoutMs)
{
    // The answer may come after this call has given up: it lands in shared state, never on the stack.
    struct Answer {
        bool arrived = false;
        QVariant value;
        QPointer<QEventLoop> loop;
    };
    auto answer = std::make_shared<Answer>();
    const QPointer<QWebEnginePage> page(target);

    QEventLoop loop;
    answer->loop = &loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(page, &QObject::destroyed, &loop, &QEventLoop::quit);
    WebEngineWriteQueue::of(page)->flush();
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [answer](const QVariant& value) {
        answer->arrived = true;
        answer->value = value;
        if (answer->loop)
            answer->loop->quit();
    });
    // After a page of another process (a local page after a web page), the engine answers the new
    // page only once it has deleted what served the old one, a deletion it leaves to the event loop;
    // a waiting loop runs deletions posted within it only when it returns, so this one runs them as
    // it goes (those posted by the loops outside it stay theirs).
    QTimer deletions;
    QObject::connect(&deletions, &QTimer::timeout, &loop,
                     [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); });
    if (!answer->arrived) {
        timer.start(timeoutMs);
        deletions.start(kDeletionsMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    answer->loop = nullptr;
    if (!page || !answer->arrived)
        return std::nullopt;
    return answer->value;
}

// The document's text comes in pieces of this many characters, and has at most so many.
constexpr qint64 kPieceChars = 256 * 1024;
constexpr qint64 kMaxDocumentChars = 256 * 1024 * 1024;

// The value of the script, a string, as UTF-8. The string is kept in the page and fetched in pieces:
// the engine's copies of one large answer beside the tree it becomes would be the program's peak.
// Throws Error; gives nothing when the page went away meanwhile.
QByteArray readText(const QPointer<QWebEnginePage>& page, const QString& script, int timeoutMs)
{
    const auto ask = [&](const QString& question) {
        const std::optional<QVariant> value = runAndWait(page, question, timeoutMs);
        if (!value && page)
            throw Error(QStringLiteral("The page did not hand over its document within %1 seconds.")
                            .arg(timeoutMs / 1000.0));
        return value.value_or(QVariant());
    };
    const QVariant length = ask(QStringLiteral("(() => { const text = ") + script
                                + QStringLiteral("; globalThis.__pxtText = text; return text.length; })()"));
    if (!page)
        return {};
    bool isNumber = false;
    const qint64 total = length.toLongLong(&isNumber);
    if (!isNumber || length.typeId() == QMetaType::QString)
        throw Error(QStringLiteral("The page's document could not be read: the page did not run the reader."));
    if (total > kMaxDocumentChars)
        throw Error(QStringLiteral("The page's document is too large to be read (%1 characters).").arg(total));
    QByteArray text;
    text.reserve(qsizetype(total));
    for (qint64 at = 0; at < total;) {
        // A piece never ends inside a surrogate pair.
        const QVariant piece = ask(QStringLiteral("(() => { const t = globalThis.__pxtText; if (typeof t !== 'string') return null;"
                                                  " let end = Math.min(%1 + %2, t.length);"
                                                  " if (end < t.length && (t.charCodeAt(end - 1) & 0xFC00) === 0xD800) end--;"
                                                  " return t.slice(%1, end); })()")
                                       .arg(at)
                                       .arg(kPieceChars));
        if (!page)
            return {};
        const QString part = piece.toString();
        if (piece.typeId() != QMetaType::QString || part.isEmpty())
            throw Error(QStringLiteral("The page changed while its document was being read."));
        text += part.toUtf8();
        at += part.size();
    }
    WebEngineWriteQueue::of(page)->add(QStringLiteral("delete globalThis.__pxtText"));
    return text;
}

// Writes go out batched; a write whose new elements the model must know is read back at once, so
// that the page's own parse of the written text gives the model its elements.
class WebEngineLiveChannel : public LiveChannel {
public:
    explicit WebEngineLiveChannel(QWebEnginePage* page) : m_page(page) {}
    void run(const QString& script) override
    {
        if (m_page)
            WebEngineWriteQueue::of(m_page)->add(script);
    }
    void check(int snapshot, int handle, bool on) override
    {
        if (m_page)
            WebEngineWriteQueue::of(m_page)->addCheck(snapshot, handle, on);
    }
    bool readsBack() const override { return true; }
    QString runAndRead(const QString& script) override
    {
        if (!m_page)
            throw Error(QStringLiteral("The page was closed before it could be written to."));
        const std::optional<QVariant> value = runAndWait(m_page, script, kReadBackMs);
        if (!value)
            throw Error(QStringLiteral("The page did not answer a write within %1 seconds.").arg(kReadBackMs / 1000));
        if (value->typeId() != QMetaType::QString)
            throw Error(QStringLiteral("The page no longer holds the element written to."));
        return value->toString();
    }

private:
    static constexpr int kReadBackMs = 10000;
    QPointer<QWebEnginePage> m_page;
};

} // namespace

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

QString lastSaveFolder;

QString defaultSaveFolder()
{
    if (!lastSaveFolder.isEmpty() && QFileInfo(lastSaveFolder).isDir())
        return lastSaveFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

constexpr int kSaveStartMs = 10000;
// How long a load waits for the one it replaces to report its end.
constexpr int kPendingStartMs = 2000;

QString suffixFor(WebEngineBrowserView::SaveFormat format)
{
    return format == QWebEngineDownloadRequest::MimeHtmlSaveFormat ? QStringLiteral("mhtml")
                                                                    : QStringLiteral("html");
}

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
            [this](int progress) { guarded(m_dialogs, [&] { Q_EMIT ProgressChange(progress, 100); }); });
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

void WebEngineBrowserView::Navigate(const QString& address)
{
    if (!m_page)
        return;
    // Asked here rather than when the engine asks: the engine drops a running load as soon as a new
    // one is requested, even one that is then refused. A cancelled Navigate leaves everything as it was.
    const QUrl url = addressToUrl(address);
    const QPointer<WebEngineBrowserView> self = this;
    if (!offerNavigation(url.toString(), true) || !self || !m_page)
        return;
    // The engine reports nothing of a load started while a local page of the view still loads (a
    // grab's blank page, then its thumbnail page): neither its start nor its end. Such a load starts
    // once the local one has ended, which takes moments. (A web page that still loads is replaced at
    // once, as the engine reports that; stopping it first would leave an empty page behind.)
    if (m_loading && m_loadingUrl.isLocalFile()) {
        m_pendingUrl = url;
        m_pendingStart.start(kPendingStartMs);
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

void WebEngineBrowserView::Stop()
{
    m_approvedUrl.clear();
    m_pendingUrl.clear();
    m_pendingStart.stop();
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowserView::Refresh()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Reload);
}

bool WebEngineBrowserView::Busy() const { return m_page && m_loading; }

QString WebEngineBrowserView::LocationURL() const { return m_page ? m_page->url().toString() : QString(); }

bool WebEngineBrowserView::offerNavigation(const QString& address, bool isMainFrame)
{
    Q_UNUSED(isMainFrame);
    bool cancel = false;
    ++m_offeringNavigation;
    guarded(m_dialogs, [&] { Q_EMIT BeforeNavigate2(address, &cancel); });
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
        guarded(m_dialogs, [&] { Q_EMIT DocumentComplete(); });
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

QString WebEngineBrowserView::completePageFilter() { return QStringLiteral("Web page, complete (*.html *.htm)"); }
QString WebEngineBrowserView::htmlOnlyFilter() { return QStringLiteral("Web page, HTML only (*.html *.htm)"); }
QString WebEngineBrowserView::webArchiveFilter() { return QStringLiteral("Web archive (*.mhtml *.mht)"); }

QString WebEngineBrowserView::suggestedFileName(SaveFormat format) const
{
    QString name = m_page ? m_page->title().simplified() : QString();
    const QUrl url = m_page ? m_page->url() : QUrl();
    // The engine shows the address as the title of a page that has none.
    if (name.isEmpty() || name == url.toString() || name == url.toDisplayString())
        name = QFileInfo(url.path()).completeBaseName();
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    name = name.left(100).trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("page");
    return name + QLatin1Char('.') + suffixFor(format);
}

bool WebEngineBrowserView::chooseSaveTarget(QString* path, SaveFormat* format)
{
    const QStringList filters{completePageFilter(), htmlOnlyFilter(), webArchiveFilter()};
    const SaveFormat formats[] = {QWebEngineDownloadRequest::CompleteHtmlSaveFormat,
                                  QWebEngineDownloadRequest::SingleHtmlSaveFormat,
                                  QWebEngineDownloadRequest::MimeHtmlSaveFormat};
    QStringList suffixes;
    for (SaveFormat f : formats)
        suffixes << suffixFor(f);
    int i = 0;
    if (!m_dialogs.saveFileName(m_view ? m_view->window() : nullptr, defaultSaveFolder(),
                                suggestedFileName(formats[0]), filters, suffixes, path, &i))
        return false;
    *format = formats[i >= 0 && i < int(std::size(formats)) ? i : 0];
    lastSaveFolder = QFileInfo(*path).absolutePath();
    return true;
}

void WebEngineBrowserView::SaveAs()
{
    if (!m_page)
        return;
    if (isSaving())
        throw Error(QStringLiteral("The page is still being saved as \"%1\".").arg(m_savePath));
    if (m_page->url().isEmpty())
        throw Error(QStringLiteral("There is no page to save."));
    QString path;
    SaveFormat format = QWebEngineDownloadRequest::CompleteHtmlSaveFormat;
    const QPointer<WebEngineBrowserView> self = this;
    if (!chooseSaveTarget(&path, &format) || !self)
        return;
    saveTo(path, format);
}

void WebEngineBrowserView::saveTo(const QString& path, SaveFormat format)
{
    if (!m_page)
        throw Error(QStringLiteral("The browser view is closed: there is no page to save."));
    if (isSaving())
        throw Error(QStringLiteral("The page is still being saved as \"%1\".").arg(m_savePath));
    if (m_page->url().isEmpty())
        throw Error(QStringLiteral("There is no page to save."));
    const QFileInfo target(path);
    if (path.isEmpty() || target.isDir())
        throw Error(QStringLiteral("\"%1\" is not a file name.").arg(path));
    if (!target.absoluteDir().exists())
        throw Error(QStringLiteral("The folder \"%1\" does not exist.").arg(target.absolutePath()));
    m_savePath = target.absoluteFilePath();
    m_replacedFileTime = target.exists() ? target.lastModified() : QDateTime();
    m_page->save(m_savePath, format);
    // The engine starts the save at once or not at all; one it never starts must not block the next.
    m_saveStart.start(kSaveStartMs);
}

void WebEngineBrowserView::saveNeverStarted()
{
    const QString path = m_savePath;
    m_savePath.clear();
    guarded(m_dialogs, [&] { m_dialogs.error(QStringLiteral("The page could not be saved as \"%1\".").arg(path)); });
    guarded(m_dialogs, [&] { Q_EMIT saveFinished(path, false); });
}

void WebEngineBrowserView::watchSave(QWebEngineDownloadRequest* download)
{
    m_saveStart.stop();
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download] {
        if (download->isFinished())
            finishSave(download);
    });
    if (download->isFinished())
        finishSave(download);
}

void WebEngineBrowserView::finishSave(QWebEngineDownloadRequest* download)
{
    disconnect(download, nullptr, this, nullptr);
    const QString path = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    m_savePath.clear();
    // The engine reports a save it could not write as completed: the file tells, and a file that was
    // there before must have been written anew.
    const QFileInfo written(path);
    const bool ok = download->state() == QWebEngineDownloadRequest::DownloadCompleted && written.isFile() &&
                    (!m_replacedFileTime.isValid() || written.lastModified() != m_replacedFileTime);
    if (!ok) {
        QString reason;
        if (download->state() == QWebEngineDownloadRequest::DownloadInterrupted)
            reason = QStringLiteral(": ") + download->interruptReasonString();
        guarded(m_dialogs, [&] { m_dialogs.error(QStringLiteral("The page could not be saved as \"%1\"%2.").arg(path, reason)); });
    }
    guarded(m_dialogs, [&] { Q_EMIT saveFinished(path, ok); });
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
