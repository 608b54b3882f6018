#pragma once

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
    void RxSpeedButtonThumbsClick();
    bool GrabFromBrowser();
    void StartHarvest(const std::shared_ptr<Document>& doc, BrowserWindow* source = nullptr);
    void SelectLinks1Click(QAction* sender);
    void RxSpeedButtonDownloadClick();
    void RxSpeedButtonSaveClick();
    void OpenThumbnails1Click();
    void SaveDownloadlist1Click();
    void SaveThumbnails1Click();
    void GetImageSize1Click();
    void Options1Click();
    // The session follows the "Use the browser's login" setting.
    void followLoginSetting();
    void Info1Click();
    void Close1Click();

    // Controls.
    QToolBar* MenuToolbar1;
    QToolBar* Panel9;
    QToolButton* RxSpeedButtonThumbs;
    QToolButton* RxSpeedButtonSelect;
    QToolButton* RxSpeedButtonDownload;
    QToolButton* RxSpeedButtonSave;
    QStackedWidget* Notebook1;
    QSplitter* Splitter1;
    ThumbnailsPane* FrameThumbs1;
    ViewerPane* FrameDownload1;
    QList<QMenu*> RxMainMenu1; // the top-level menus, in menu order
    QMenu* RxPopupMenu1;
    std::unique_ptr<WindowPlacement> FormStorage1;

    // Fields.
    int FSelectedWindow = -1;
    bool FAddToExisting = false;
    bool FOpenedFromFile = false;
    QString FPageHead;

    // The action of a menu item by its object name (tests).
    QAction* menuItem(const QString& name) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void buildMenus();
    void buildToolButtons();
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption, void (MainWindow::*handler)());
    QAction* addSelectItem(QMenu* menu, const QString& name, const QString& caption, int tag);

    MainWindowServices m_services;
    bool m_closed = false; // the window was closed; a grab still under way ends
};

} // namespace pxt
