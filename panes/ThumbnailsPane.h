#pragma once

#include "browser/BrowserView.h"
#include "pages/PageText.h"

#include <QWidget>

#include <memory>

class QLabel;
class QToolButton;

namespace pxt {

class BrowserSession;
class BrowserWindow;
class Dialogs;
class ProgressSink;
class ThumbnailGrab;
class SizeProbe;
class Settings;
class THttpClient;

// The thumbnails pane: the thumbnail page in a browser view with a title bar, Stop and Reload and a
// status line. It shows what its grab (the widget-free road of a grab) writes, runs the size probe on
// the shown page, and has a hidden second view for saving the selection. Web links clicked on its page are handed over through LinkDiverted.
class ThumbnailsPane : public QWidget {
    Q_OBJECT
public:
    ThumbnailsPane(BrowserViewFactory& views, Settings& settings, ProgressSink& progress, Dialogs& dialogs,
                 QWidget* parent = nullptr);
    ~ThumbnailsPane() override;

    // The pane's own operations.
    void StopThumbs();
    void ShowBlank();
    void ReloadThumbs();
    std::shared_ptr<Document> ThumbsDocument();

    // The browser session the page's pictures are asked with (the probe's cookies and Referer); null:
    // none. It must outlive the pane.
    void setSession(BrowserSession* session);

    // The thumbnail page. With the window the document came from and a session that is on, the
    // window's cookies for the harvested addresses and the thumbnails' Referers go to the session
    // before the page is shown.
    void GrabDocument(const std::shared_ptr<Document>& doc, bool addToExisting, BrowserWindow* source = nullptr);
    // Ends a running harvest for good (the program is closing): nothing is written, shown or told.
    void CancelHarvest();

    // Selection on the shown page.
    void SelectAll();
    void DeselectAll();
    void SelectImages();
    void SelectLinks();

    // The size probe.
    void CheckImageSizes();

    // Thumbnail list files.
    void SaveAllThumbs();
    void SaveSelectedThumbs();
    void OpenThumbs(const QString& fileName);

    QString statusText() const;

    // Controls.
    QWidget* Panel2;
    QLabel* Panel2Caption;
    QWidget* Panel3;
    QToolButton* RxSpeedButton1; // Stop
    QToolButton* RxSpeedButton2; // Reload
    BrowserView* WebBrowserThumbs;
    QLabel* StatusBar1;
    BrowserView* WebBrowserSel;
    std::unique_ptr<SizeProbe> Probe; // the size probe
    // The thumbnail page's lines as the last grab left them.
    const PageLines& pageLines() const;

    // Fields.
    bool FAddToExisting = false;
    bool FProbeStopped = false; // the user stopped: no probe when the next page has loaded
    QString FStatusText;
    // The probe's page and position.
    const std::shared_ptr<Document>& FDocument() const;
    int FProbeIndex() const;

Q_SIGNALS:
    // A web link the user clicked on the page; the download pane shows it.
    void LinkDiverted(const QString& address);

private:
    void setStatus(const QString& text);
    void showFile(const QString& file);
    template <typename Rule> void forEachInput(Rule rule);

    void RxSpeedButton1Click();
    void RxSpeedButton2Click();
    void WebBrowserThumbsBeforeNavigate2(const QString& address, bool* cancel);
    void WebBrowserThumbsDocumentComplete();
    void WebBrowserThumbsProgressChange(int progress, int progressMax);
    void WebBrowserSelDocumentComplete();

    Settings& m_settings;
    ProgressSink& m_progress;
    std::unique_ptr<ThumbnailGrab> m_grab;
    Dialogs& m_dialogs;
    BrowserSession* m_session = nullptr;
};


} // namespace pxt
