#pragma once

#include "harvest/LinkAnswers.h"
#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace pxt {

class BrowserSession;
class BrowserViewFactory;
class BrowserWindow;
class BrowserWindowList;
class Dialogs;
class Document;
class WindowPlacement;
class Settings;
class OptionsDialog;
class BrowserPicker;
class ProgressWindow;
class ViewerPane;
class ThumbnailsPane;

// What "Grab Thumbnails" tells when no browser window is listed: the endpoints tried and how to start
// a browser that can be grabbed from.
QString noBrowserText(const QStringList& endpoints);

// The windows and services the main window works with; the program entry makes them once.
struct MainWindowServices {
    BrowserViewFactory& views;
    BrowserWindowList& windows; // the running browser windows
    Settings& settings;
    ProgressWindow& progress;
    OptionsDialog& options;
    BrowserPicker& picker;
    Dialogs& dialogs; // message boxes, file chooser, address opener
    bool showSplash = true;
    // What a grab borrows of the browser's session (cookies, Referers); null: nothing is borrowed.
    BrowserSession* session = nullptr;
};

// The application frame: the menu as a row of buttons, the tool buttons, the two panes with a
// splitter between them; it routes every command to the pane or dialog that does the work.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;
    // No menu for hiding the tool bars: they hold every command, and nothing would bring them back.
    QMenu* createPopupMenu() override { return nullptr; }

    // Commands.
    void onGrab();
    // A grab asked for while one is under way is refused: grabs never nest.
    bool grabFromBrowser();
    void startHarvest(const std::shared_ptr<Document>& doc, BrowserWindow* source = nullptr);
    void onSelect(QAction* sender);
    void onView();
    void onSaveImages();
    // Saves the pictures of the last view run into a folder the user chooses.
    void onSavePictures();
    void onOpenThumbnails();
    void onSaveSelectedThumbnails();
    void onSaveAllThumbnails();
    void onGetImageSizes();
    void onOptions();
    // The session follows the "Use the browser's login" setting.
    void followLoginSetting();
    void onAbout();
    // Shows the user guide in the viewer pane.
    void onHelp();
    void onExit();

    ThumbnailsPane* thumbnailsPane() const { return m_thumbnailsPane; }
    ViewerPane* viewerPane() const { return m_viewerPane; }
    QToolBar* menuRow() const { return m_menuRow; }
    QToolBar* toolBar() const { return m_toolBar; }
    QToolButton* grabButton() const { return m_grabButton; }
    QToolButton* selectButton() const { return m_selectButton; }
    QToolButton* viewButton() const { return m_viewButton; }
    QToolButton* saveButton() const { return m_saveButton; }
    QToolButton* savePicturesButton() const { return m_savePicturesButton; }
    // Where the folder chooser of saving pictures opens when no folder was used yet: the desktop's
    // Pictures folder + "/Pixtrawl/" + the gallery's title made safe.
    QString defaultPictureFolder() const;
    // The top-level menus, in menu order.
    const QList<QMenu*>& menus() const { return m_menus; }
    const WindowPlacement& placement() const { return *m_placement; }

    // What the last grab left: the listed window it read (-1: none), the head of its page.
    int selectedWindow() const { return m_selectedWindow; }
    QString pageHead() const { return m_pageHead; }
    // The thumbnail page was opened from a file, and whether the next grab adds to it.
    bool openedFromFile() const { return m_openedFromFile; }
    bool addToExisting() const { return m_addToExisting; }

    // The action of a menu item by its object name (tests).
    QAction* menuItem(const QString& name) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void finishCreation();
    void onFirstShow();
    void onClosing();
    void onDestroying();
    void buildMenus();
    void buildToolButtons();
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption, void (MainWindow::*handler)());
    QAction* addSelectItem(QMenu* menu, const QString& name, const QString& caption, int tag);

    QToolBar* m_menuRow;
    QToolBar* m_toolBar;
    QToolButton* m_grabButton;
    QToolButton* m_selectButton;
    QToolButton* m_viewButton;
    QToolButton* m_saveButton;
    QToolButton* m_savePicturesButton;
    QStackedWidget* m_pages;
    QSplitter* m_splitter;
    ThumbnailsPane* m_thumbnailsPane;
    ViewerPane* m_viewerPane;
    QList<QMenu*> m_menus; // the top-level menus, in menu order
    QMenu* m_selectMenu;
    std::unique_ptr<WindowPlacement> m_placement;

    int m_selectedWindow = -1;
    bool m_addToExisting = false;
    bool m_openedFromFile = false;
    QString m_pageHead;
    QString m_galleryTitle; // the title of the last grabbed page

    MainWindowServices m_services;
    // What the servers answered for links, learnt by the probe and asked by the view runs.
    LinkAnswers m_linkAnswers;
    bool m_closed = false; // the window was closed; a grab still under way ends
    bool m_grabbing = false; // a grab is under way: the window's events run while it waits and harvests
};

} // namespace pxt
