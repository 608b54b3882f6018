#pragma once

#include "browser/BrowserView.h"
#include "harvest/ViewRun.h"

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QToolButton;

namespace pxt {

class BrowserSession;
class Dialogs;
class Settings;

// The download pane: the full pictures behind the chosen thumbnails. A view run keeps the links that
// name pictures, loads the others as pages and takes their images, then writes and shows the view page.
class ViewerPane : public QWidget {
    Q_OBJECT
public:
    // The session that learns which page each picture of a view run was found on (its Referer);
    // null: none. It must outlive the pane.
    void setSession(BrowserSession* session) { m_run.setSession(session); }
    ViewerPane(BrowserViewFactory& views, Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);

    // The view run.
    bool StartView(const std::shared_ptr<Document>& document, const QString& head);
    void ViewLink(const QString& url);
    void LinkDocumentComplete();

    // The pane.
    bool IsBusy() const;
    void StopView();
    void ReloadView();
    void SaveView();

    QString statusText() const;

    // Controls.
    BrowserView* WebBrowserDownload;
    // The run: its links in the order it takes them, the pictures found, where it stands.
    const ViewRun& run() const { return m_run; }
    QWidget* Panel1;
    QLabel* Panel1Caption;
    QLabel* StatusBar1;
    QLabel* PanelDummy;
    QWidget* Panel2;
    QToolButton* RxSpeedButton1; // Stop
    QToolButton* RxSpeedButton2; // Reload
    QCheckBox* CheckBox1;

    // Fields.
    QString FPageHead;
    QString FPageFile;
    QString FStatus;

private:
    // One step of the run; consecutive picture links are taken in a loop, only a page link waits for
    // the view's next document-complete event.
    void ProcessLink();
    void WriteViewPage();
    void setStatus(const QString& text);
    void WebBrowserDownloadDocumentComplete();
    void WebBrowserDownloadProgressChange(int progress, int progressMax);

    Settings& m_settings;
    Dialogs& m_dialogs;
    ViewRun m_run;
};

} // namespace pxt
