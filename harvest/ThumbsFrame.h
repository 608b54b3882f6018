#pragma once

#include "browserhost/BrowserView.h"
#include "browserhost/PageText.h"

#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QToolButton;

namespace pxt {

class ProgressSink;
class Settings;
class THttpClient;

// The thumbnails pane: the thumbnail page in a browser view with a title bar, Stop and Reload and a
// status line. It owns the page buffer, the size probe's HTTP client and a hidden second view for
// saving the selection. Web links clicked on its page are handed over through LinkDiverted.
class TFrameThumbs : public QWidget {
    Q_OBJECT
public:
    TFrameThumbs(BrowserViewFactory& views, Settings& settings, ProgressSink& progress, QWidget* parent = nullptr);
    ~TFrameThumbs() override;

    // The pane's own operations.
    void StopThumbs();
    void ShowBlank();
    void ReloadThumbs();
    std::shared_ptr<Document> ThumbsDocument();

    // The thumbnail page.
    void GrabDocument(const std::shared_ptr<Document>& doc, bool addToExisting);

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
    PageLines MemoThumbs;
    PageLines MemoTemp;
    std::unique_ptr<THttpClient> HttpClient1;

    // Fields.
    std::shared_ptr<Document> FDocument;
    int FProbeIndex = 0;
    bool FAddToExisting = false;
    bool FProbeStopped = false;
    QString FStatusText;

Q_SIGNALS:
    // A web link the user clicked on the page; the download pane shows it.
    void LinkDiverted(const QString& address);

private:
    void WriteThumbPage(const std::shared_ptr<Document>& doc);
    void setStatus(const QString& text);
    void showFile(const QString& file);
    template <typename Rule> void forEachInput(Rule rule);

    // The probe walk: runs requests one after the other in a loop; the client's events only say where
    // the walk goes on, so a gallery of thousands of pictures never nests a call per link.
    void ProbeFrom(int index);
    void TakeImageSize();
    void HttpClient1PacketRecvd();
    void HttpClient1Success();

    void RxSpeedButton1Click();
    void RxSpeedButton2Click();
    void WebBrowserThumbsBeforeNavigate2(const QString& address, bool* cancel);
    void WebBrowserThumbsDocumentComplete();
    void WebBrowserThumbsProgressChange(int progress, int progressMax);
    void WebBrowserSelDocumentComplete();

    Settings& m_settings;
    ProgressSink& m_progress;
    bool m_probing = false;          // a walk's loop is running
    std::optional<int> m_nextProbe;  // where the walk goes on after the current request
    bool m_requestTaken = false;     // the current request's size was taken
};


} // namespace pxt
