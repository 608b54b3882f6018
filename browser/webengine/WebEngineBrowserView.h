#pragma once

#include "browser/BrowserView.h"

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWebEngineDownloadRequest>

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace pxt {

class Dialogs;
class WebEnginePage;

// The browser view of the program: a QWebEngineView behind the BrowserView interface.
//
// Events: every navigation (Navigate's, Refresh's, the page's own) is offered to navigationRequested
// before it starts; Navigate offers its address at once, inside the call. A cancelled navigation
// fires no documentComplete and leaves a load that is running alone. documentComplete fires once per
// loaded main document, also for the engine's own error page; a load that was stopped, replaced by
// another or cancelled fires none.
//
// The widget and the view object live and die together: deleting either one deletes the other's
// engine side, and every operation on a view whose widget is gone does nothing (document() throws).
class WebEngineBrowserView : public BrowserView {
    Q_OBJECT
public:
    using SaveFormat = QWebEngineDownloadRequest::SavePageFormat;

    // The view object is a child of parent; so is its widget, until a layout takes it.
    explicit WebEngineBrowserView(Dialogs& dialogs, QWidget* parent = nullptr);
    ~WebEngineBrowserView() override;

    QWidget* widget() override;
    void navigate(const QString& address) override;
    void stop() override;
    void refresh() override;
    // The Save As dialog, then saveTo with the chosen file and type.
    void saveAs() override;
    bool isBusy() const override;
    // Runs the serializer in the page and waits for it in a local event loop (user input stays
    // queued meanwhile); on a loaded page whose tree has not changed since, the document read last is
    // given again, with the inputs and images the page reports changed. Throws Error when the page
    // does not answer in time or cannot be read.
    std::shared_ptr<Document> document() override;
    QString locationUrl() const override;

    // Saves the shown page to path without asking. The engine writes it in the background; the
    // outcome arrives as saveFinished, and a failure is also reported to the user. Throws Error when
    // the save cannot start.
    void saveTo(const QString& path, SaveFormat format);
    bool isSaving() const { return !m_savePath.isEmpty(); }

    QWebEnginePage* page() const;
    // The profile every view shares: off the record, so nothing of it reaches the disk.
    static QWebEngineProfile* sharedProfile();
    // Before the application object is made: the views draw in software, so no GL library is loaded
    // into the program (and the engine composites in software). The user's own choice in
    // QT_QUICK_BACKEND or QT_XCB_GL_INTEGRATION stays.
    static void drawInSoftware();
    // How Navigate reads its argument: a plain file path, else an address.
    static QUrl addressToUrl(const QString& address);
    // The longest document() waits for the page; 10 s unless changed.
    void setDocumentTimeout(int milliseconds) { m_documentTimeoutMs = milliseconds; }

    // The Save As dialog's file types, in the order it offers them.
    static QString completePageFilter();
    static QString htmlOnlyFilter();
    static QString webArchiveFilter();

Q_SIGNALS:
    void saveFinished(const QString& path, bool ok);

private:
    // Asks where and as what to save the page; false when the user cancels.
    bool chooseSaveTarget(QString* path, SaveFormat* format);
    // A page the shown page wants in a new window (a link with a target): the desktop's browser.
    void openInNewWindow(const QUrl& url, bool userClicked);
    void allowScriptsFor(const QUrl& url);
    static bool isWebAddress(const QUrl& url);

    friend class WebEnginePage;
    bool offerNavigation(const QString& address, bool isMainFrame);
    void startLoad(QUrl url); // by value: it may be the pending address, which it clears
    void startPendingLoad();
    bool engineAsksNavigation(const QUrl& url, bool isMainFrame);
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void watchSave(QWebEngineDownloadRequest* download);
    void finishSave(QWebEngineDownloadRequest* download);
    void saveNeverStarted();
    QString suggestedFileName(SaveFormat format) const;

    Dialogs& m_dialogs;
    QPointer<QWebEngineView> m_view;
    QPointer<WebEnginePage> m_page;
    bool m_loading = false;
    QUrl m_approvedUrl; // the load Navigate started, until the engine asks about it
    QUrl m_pendingUrl;  // the load Navigate asked for while another one ran, until that one has ended
    QTimer m_pendingStart;
    QUrl m_loadingUrl; // of the load under way
    int m_offeringNavigation = 0; // > 0 while navigationRequested handlers run
    int m_documentTimeoutMs = 10000;
    // The document of the loaded page as last read, kept in step with the page; null while a page loads.
    std::shared_ptr<Document> m_shown;
    QString m_savePath; // the file a running save writes; empty when none runs
    QDateTime m_replacedFileTime; // of the file the running save replaces; invalid when it is new
    QTimer m_saveStart; // runs from saveTo until the engine starts the save
};

} // namespace pxt
