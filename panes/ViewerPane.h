#pragma once

#include "browser/BrowserView.h"
#include "harvest/PictureSaver.h"
#include "harvest/ViewRun.h"

#include <QStringList>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QToolButton;

namespace pxt {

class BrowserSession;
class Dialogs;
class NetworkPictureSource;
class HttpClient;
class LinkAnswers;
class Settings;

// The download pane: the full pictures behind the chosen thumbnails. A view run keeps the links that
// name pictures, loads the others as pages and takes their images, then writes and shows the view page.
class ViewerPane : public QWidget {
    Q_OBJECT
public:
    ViewerPane(BrowserViewFactory& views, Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ViewerPane() override;

    // The session that learns which page each picture of a view run was found on (its Referer), and
    // whose cookies and Referer a question about a link carries; null: none. It must outlive the pane.
    void setSession(BrowserSession* session);
    // What the servers answered for links: a run asks about a link named like a picture whose answer
    // is not known (the header of its reply only) before it takes it; null: the names decide.
    void setLinkAnswers(LinkAnswers* answers) { m_run.setLinkAnswers(answers); }

    // The view run.
    bool startView(const std::shared_ptr<Document>& document, const QString& head);
    void viewLink(const QString& url);
    void onLinkPageLoaded();

    // The pane.
    bool isBusy() const;
    void stop();
    void reload();
    void saveImages();
    // Shows a page of the program's own (the user guide), ending a run first.
    void showPage(const QString& file);

    // Saving the pictures of the last view run into a folder.
    // The pictures of the last view run that has ended; empty while one collects.
    QList<PictureToSave> picturesToSave() const;
    // Saves them into the folder, "Parallel requests" at a time: the status line tells which, the Stop
    // button ends it, a box tells the outcome and offers to open the folder. False while a save runs.
    bool savePictures(const QString& folder);
    bool isSaving() const { return m_saver->running(); }
    // Ends a save without its box (the program closes).
    void endSaving();
    // Where saved pictures come from; null: the network with the session. It must outlive the pane.
    void setPictureSource(PictureSource* source);
    const PictureSaver& saver() const { return *m_saver; }

    QString statusText() const;

    // The text the status line shows with the load's percentage.
    QString loadingText() const { return m_loadingText; }
    // The head of the view page: the thumbnail page's title.
    QString pageHead() const { return m_pageHead; }
    // The view page last written.
    QString pageFile() const { return m_pageFile; }

    BrowserView* view() const { return m_view; }
    // The run: its links in the order it takes them, the pictures found, where it stands.
    const ViewRun& run() const { return m_run; }
    // "Please wait while loading...", over the view while a run loads pages.
    QLabel* cover() const { return m_cover; }
    QCheckBox* viewHtmlBox() const { return m_viewHtmlBox; }
    QToolButton* stopButton() const { return m_stopButton; }
    QToolButton* reloadButton() const { return m_reloadButton; }

private:
    // One step of the run; consecutive picture links are taken in a loop, only a page link waits for
    // the view's next document-complete event.
    void processLink();
    void askAbout(const QString& link);
    void onAnswer();
    void writeViewPage();
    void setStatus(const QString& text);
    void onPageLoaded();
    void onLoadProgress(int progress, int progressMax);
    void onSavingFinished(const PictureSaver::Outcome& outcome);

    BrowserView* m_view;
    QWidget* m_titleBar;
    QLabel* m_caption;
    QLabel* m_statusLine;
    QLabel* m_cover;
    QWidget* m_buttons;
    QToolButton* m_stopButton;
    QToolButton* m_reloadButton;
    QCheckBox* m_viewHtmlBox;

    QString m_pageHead;
    QString m_pageFile;
    QString m_loadingText;

    Settings& m_settings;
    Dialogs& m_dialogs;
    ViewRun m_run;
    std::unique_ptr<HttpClient> m_asker; // asks about a link's answer
    quint64 m_question = 0;              // counts the questions; a stop ends the one asked
    std::unique_ptr<NetworkPictureSource> m_network;
    std::unique_ptr<PictureSaver> m_saver;
    bool m_quietEnd = false; // the save ends without its box
};

} // namespace pxt
