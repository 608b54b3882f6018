#pragma once

#include "browser/BrowserView.h"
#include "pages/PageText.h"

#include <QWidget>

#include <memory>

class QLabel;
class QToolButton;

namespace pxt {

class BrowserSession;
class LinkAnswers;
class BrowserWindow;
class Dialogs;
class ProgressSink;
class ThumbnailGrab;
class SizeProbe;
class Settings;

// The thumbnails pane: the thumbnail page in a browser view with a title bar, Stop and Reload and a
// status line. It shows what its grab (the widget-free road of a grab) writes, runs the size probe on
// the shown page, and has a hidden second view for saving the selection. Web links clicked on its page are handed over through linkDiverted.
class ThumbnailsPane : public QWidget {
    Q_OBJECT
public:
    ThumbnailsPane(BrowserViewFactory& views, Settings& settings, ProgressSink& progress, Dialogs& dialogs,
                 QWidget* parent = nullptr);
    ~ThumbnailsPane() override;

    // The pane's own operations.
    void stop();
    void showBlank();
    void reload();
    std::shared_ptr<Document> thumbnailsDocument();

    // The browser session the page's pictures are asked with (the probe's cookies and Referer); null:
    // none. It must outlive the pane.
    void setSession(BrowserSession* session);
    // Where the size probe notes whether each link answered with a picture or a page; null: nowhere.
    void setLinkAnswers(LinkAnswers* answers);

    // The thumbnail page. With the window the document came from and a session that is on, the
    // window's cookies for the harvested addresses and the thumbnails' Referers go to the session
    // before the page is shown.
    void grabDocument(const std::shared_ptr<Document>& doc, bool addToExisting, BrowserWindow* source = nullptr);
    // Ends a running harvest for good (the program is closing): nothing is written, shown or told.
    void cancelHarvest();

    // Selection on the shown page.
    void selectAll();
    void deselectAll();
    void selectImages();
    void selectLinks();

    // The size probe.
    void checkImageSizes();

    // Thumbnail list files.
    void saveAllThumbnails();
    void saveSelectedThumbnails();
    void openThumbnails(const QString& fileName);

    QString statusText() const;
    // The text the status line shows with the load's percentage; empty while no page of the pane loads.
    QString loadingText() const { return m_loadingText; }
    // The user stopped: no probe when the next page has loaded.
    bool probeStopped() const { return m_probeStopped; }

    BrowserView* view() const { return m_view; }
    BrowserView* selectionView() const { return m_selectionView; }
    SizeProbe& sizeProbe() const { return *m_probe; }
    QToolButton* stopButton() const { return m_stopButton; }
    QToolButton* reloadButton() const { return m_reloadButton; }
    // The thumbnail page's lines as the last grab left them.
    const PageLines& pageLines() const;

Q_SIGNALS:
    // A web link the user clicked on the page; the download pane shows it.
    void linkDiverted(const QString& address);

private:
    void setStatus(const QString& text);
    void showFile(const QString& file);
    template <typename Rule> void forEachInput(Rule rule);

    void onStop();
    void onReload();
    void onNavigating(const QString& address, bool* cancel);
    void onPageLoaded();
    void onLoadProgress(int progress, int progressMax);
    void onSelectionPageLoaded();

    QWidget* m_titleBar;
    QLabel* m_caption;
    QWidget* m_buttons;
    QToolButton* m_stopButton;
    QToolButton* m_reloadButton;
    BrowserView* m_view;
    QLabel* m_statusLine;
    BrowserView* m_selectionView; // hidden: saves the selection
    std::unique_ptr<SizeProbe> m_probe;

    bool m_addToExisting = false;
    bool m_probeStopped = false;
    QString m_loadingText;

    Settings& m_settings;
    ProgressSink& m_progress;
    std::unique_ptr<ThumbnailGrab> m_grab;
    Dialogs& m_dialogs;
    BrowserSession* m_session = nullptr;
};


} // namespace pxt
