#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/ProgressWindow.h"
#include "app/SplashWindow.h"
#include "browser/BrowserWindows.h"
#include "core/Dialogs.h"
#include "ui/PaneWidgets.h"
#include "core/ProgramFiles.h"
#include "core/SettingsKeys.h"
#include "panes/ViewerPane.h"
#include "dom/Document.h"
#include "harvest/ThumbnailGrab.h"
#include "panes/ThumbnailsPane.h"
#include "http/BrowserSession.h"
#include "dialogs/BrowserPicker.h"
#include "ui/WindowPlacement.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace pxt {

namespace {
const QString kTitle = QStringLiteral("Pixtrawl 1.0");
} // namespace

QString noBrowserText(const QStringList& endpoints)
{
    QString text = QStringLiteral("No browser with a debugging port was found.\n\n");
    if (!endpoints.isEmpty())
        text += QStringLiteral("Tried: %1.\n\n").arg(endpoints.join(QStringLiteral(", ")));
    text += QStringLiteral(
        "Start Chromium, Chrome, Brave, Edge or Vivaldi with a DevTools port and a profile of its own, "
        "for example:\n\n"
        "    chromium --remote-debugging-port=9222 --user-data-dir=/tmp/pixtrawl-profile\n\n"
        "or Firefox with a debugging port (and, while your everyday Firefox runs, a profile folder of "
        "its own that exists):\n\n"
        "    firefox --remote-debugging-port 9222 --profile /tmp/pixtrawl-firefox\n\n"
        "open the gallery in it and grab again. Other endpoints can be listed in %1 under "
        "[%2] %3=host:port,host:port.")
        .arg(ProgramFiles::kSettings, SettingsKeys::kBrowsersSection, SettingsKeys::kDevToolsEndpoints);
    return text;
}

MainWindow::MainWindow(MainWindowServices services, QWidget* parent) : QMainWindow(parent), m_services(services)
{
    setObjectName(QStringLiteral("FormMain"));
    resize(889, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    buildMenus();
    buildToolButtons();

    Notebook1 = new QStackedWidget(this);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setChildrenCollapsible(false);
    FrameThumbs1 = new ThumbnailsPane(services.views, services.settings, services.progress, services.dialogs);
    FrameDownload1 = new ViewerPane(services.views, services.settings, services.dialogs);
    FrameThumbs1->setSession(services.session);
    FrameDownload1->setSession(services.session);
    Splitter1->addWidget(FrameThumbs1);
    Splitter1->addWidget(FrameDownload1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({445, 889 - 445 - 5});
    Notebook1->addWidget(Splitter1);                            // page "Thumbs"
    Notebook1->addWidget(new QWidget);                          // page "Download", empty
    Notebook1->setCurrentIndex(0);
    setCentralWidget(Notebook1);

    // A web link clicked on the thumbnail page is shown in the download pane.
    connect(FrameThumbs1, &ThumbnailsPane::LinkDiverted, this,
            [this](const QString& address) { guarded(m_services.dialogs, [&] { FrameDownload1->ViewLink(address); }); });

    FormCreate();
}

MainWindow::~MainWindow() { FormDestroy(); }

QAction* MainWindow::addItem(QMenu* menu, const QString& name, const QString& caption, void (MainWindow::*handler)())
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    if (handler)
        connect(a, &QAction::triggered, this, [this, handler] { guarded(m_services.dialogs, [&] { (this->*handler)(); }); });
    return a;
}

QAction* MainWindow::addSelectItem(QMenu* menu, const QString& name, const QString& caption, int tag)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setData(tag);
    connect(a, &QAction::triggered, this, [this, a] { guarded(m_services.dialogs, [&] { SelectLinks1Click(a); }); });
    return a;
}

void MainWindow::buildMenus()
{
    auto* file = new QMenu(QStringLiteral("&File"), this);
    file->setObjectName(QStringLiteral("File1"));
    addItem(file, QStringLiteral("OpenThumbnails1"), QStringLiteral("&Open Thumbnails..."), &MainWindow::OpenThumbnails1Click);
    file->addSeparator();
    addItem(file, QStringLiteral("SaveDownloadlist1"), QStringLiteral("S&ave selected Thumbnails..."),
            &MainWindow::SaveDownloadlist1Click);
    addItem(file, QStringLiteral("SaveThumbnails1"), QStringLiteral("Sa&ve all Thumbnails..."), &MainWindow::SaveThumbnails1Click);
    addItem(file, QStringLiteral("SaveImages1"), QStringLiteral("&Save Images..."), &MainWindow::RxSpeedButtonSaveClick);
    addItem(file, QStringLiteral("SaveImagesThumbnails1"), QStringLiteral("&Save Images + Thumbnails..."), nullptr)
        ->setVisible(false);
    file->addSeparator();
    addItem(file, QStringLiteral("Close1"), QStringLiteral("&Close"), &MainWindow::Close1Click);

    auto* thumbs = new QMenu(QStringLiteral("&Thumbnails"), this);
    thumbs->setObjectName(QStringLiteral("Thumbnails1"));
    addItem(thumbs, QStringLiteral("Catch1"), QStringLiteral("G&rab from IE..."), &MainWindow::RxSpeedButtonThumbsClick);
    QMenu* select = thumbs->addMenu(QStringLiteral("S&elect Thumbnails"));
    select->setObjectName(QStringLiteral("SelectThumbnails1"));
    select->menuAction()->setObjectName(QStringLiteral("SelectThumbnails1"));
    addSelectItem(select, QStringLiteral("Selectall2"), QStringLiteral("All"), 0);
    addSelectItem(select, QStringLiteral("SelectImages2"), QStringLiteral("Images"), 2);
    addSelectItem(select, QStringLiteral("SelectLinks2"), QStringLiteral("Links"), 3);
    select->addSeparator();
    addSelectItem(select, QStringLiteral("Deselectall1"), QStringLiteral("Deselect All"), 1);
    addItem(thumbs, QStringLiteral("ViewselectedThumbnails1"), QStringLiteral("View selected Thumbnails"),
            &MainWindow::RxSpeedButtonDownloadClick);
    thumbs->addSeparator();
    addItem(thumbs, QStringLiteral("GetImageSize1"), QStringLiteral("&Get Image Size"), &MainWindow::GetImageSize1Click);
    thumbs->addSeparator();
    addItem(thumbs, QStringLiteral("Options1"), QStringLiteral("Options..."), &MainWindow::Options1Click);

    auto* help = new QMenu(QStringLiteral("&?"), this);
    help->setObjectName(QStringLiteral("N2"));
    addItem(help, QStringLiteral("Help1"), QStringLiteral("&Help"), nullptr);
    help->addSeparator();
    addItem(help, QStringLiteral("Info1"), QStringLiteral("&Info..."), &MainWindow::Info1Click);

    RxMainMenu1 = {file, thumbs, help};

    RxPopupMenu1 = new QMenu(this);
    RxPopupMenu1->setObjectName(QStringLiteral("RxPopupMenu1"));
    addSelectItem(RxPopupMenu1, QStringLiteral("SelectAll1"), QStringLiteral("Select All"), 0);
    addSelectItem(RxPopupMenu1, QStringLiteral("SelectImages1"), QStringLiteral("Select Images"), 2);
    addSelectItem(RxPopupMenu1, QStringLiteral("SelectLinks1"), QStringLiteral("Select Links"), 3);
    RxPopupMenu1->addSeparator();
    addSelectItem(RxPopupMenu1, QStringLiteral("Deselctall1"), QStringLiteral("Deselect All"), 1);
}

void MainWindow::buildToolButtons()
{
    // The menu is shown as a row of captioned buttons on a tool bar, not as a classic menu bar.
    MenuToolbar1 = addToolBar(QStringLiteral("Menu"));
    MenuToolbar1->setObjectName(QStringLiteral("MenuToolbar1"));
    MenuToolbar1->setMovable(false);
    MenuToolbar1->setMinimumHeight(23);

    addToolBarBreak();
    Panel9 = addToolBar(QStringLiteral("Tools"));
    Panel9->setObjectName(QStringLiteral("Panel9"));
    Panel9->setMovable(false);
    Panel9->setMinimumHeight(26);
    Panel9->setIconSize(QSize(18, 18));

    auto tool = [this](const QString& name, const QString& hint, const char* icon, QStyle::StandardPixmap fallback) {
        QToolButton* b = flatToolButton(Panel9, name, hint, QLatin1String(icon), fallback);
        Panel9->addWidget(b);
        return b;
    };
    RxSpeedButtonThumbs = tool(QStringLiteral("RxSpeedButtonThumbs"), QStringLiteral("Grab Thumbnails"),
                               "insert-image", QStyle::SP_ArrowDown);
    RxSpeedButtonSelect = tool(QStringLiteral("RxSpeedButtonSelect"), QStringLiteral("Select Thumbnails"),
                               "edit-select-all", QStyle::SP_DialogApplyButton);
    RxSpeedButtonSelect->setMenu(RxPopupMenu1);
    RxSpeedButtonSelect->setPopupMode(QToolButton::InstantPopup);
    RxSpeedButtonSelect->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    RxSpeedButtonDownload = tool(QStringLiteral("RxSpeedButtonDownload"), QStringLiteral("View selected Thumbnails"),
                                 "document-preview", QStyle::SP_FileDialogContentsView);
    RxSpeedButtonSave = tool(QStringLiteral("RxSpeedButtonSave"), QStringLiteral("Save Images"),
                             "document-save", QStyle::SP_DialogSaveButton);
    connect(RxSpeedButtonThumbs, &QToolButton::clicked, this, [this] { guarded(m_services.dialogs, [this] { RxSpeedButtonThumbsClick(); }); });
    connect(RxSpeedButtonDownload, &QToolButton::clicked, this,
            [this] { guarded(m_services.dialogs, [this] { RxSpeedButtonDownloadClick(); }); });
    connect(RxSpeedButtonSave, &QToolButton::clicked, this, [this] { guarded(m_services.dialogs, [this] { RxSpeedButtonSaveClick(); }); });
}

QAction* MainWindow::menuItem(const QString& name) const
{
    for (QMenu* m : findChildren<QMenu*>()) {
        for (QAction* a : m->actions()) {
            if (a->objectName() == name)
                return a;
        }
    }
    return nullptr;
}

// --- life cycle -------------------------------------------------------------------------------------

void MainWindow::FormCreate()
{
    if (m_services.showSplash) {
        auto* splash = new SplashWindow();
        splash->showAtOnce();
    }
    for (QMenu* menu : RxMainMenu1) {
        auto* b = new QToolButton(MenuToolbar1);
        b->setObjectName(menu->objectName() + QStringLiteral("Button"));
        b->setText(menu->title());
        b->setMenu(menu);
        b->setPopupMode(QToolButton::InstantPopup);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(true);
        b->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
        MenuToolbar1->addWidget(b);
    }
    FormStorage1 = std::make_unique<WindowPlacement>(this, SettingsKeys::kMainFormSection, m_services.dialogs);
    FormStorage1->addIntProperty(SettingsKeys::kThumbsPaneWidth, [this] { return FrameThumbs1->width(); },
                                 [this](int w) {
                                     const int total = Splitter1->width() > 0 ? Splitter1->width() : 889;
                                     Splitter1->setSizes({w, qMax(0, total - w - Splitter1->handleWidth())});
                                 });
    setWindowTitle(kTitle);
    // The title of the message boxes; not Qt's display name, which the window system would append
    // to every window caption.
    m_services.dialogs.setApplicationTitle(kTitle);
    FrameThumbs1->ShowBlank();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_closed = false;
    if (!event->spontaneous())
        guarded(m_services.dialogs, [this] { FormShow(); });
}

void MainWindow::FormShow()
{
    FormStorage1->restore();
    // The stored options and the settings snapshot are in force before any command can run.
    m_services.options.LoadAtStart();
    followLoginSetting();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    m_closed = true;
    guarded(m_services.dialogs, [this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void MainWindow::FormClose()
{
    FrameThumbs1->CancelHarvest();
    FrameThumbs1->StopThumbs();
    FrameDownload1->StopView();
    FormStorage1->save(false);
}

void MainWindow::FormDestroy()
{
    guarded(m_services.dialogs, [this] {
        if (FormStorage1)
            FormStorage1->save(true);
    });
    for (int n = 1;; ++n) {
        const QString page = ProgramFiles::viewPage(n);
        if (!QFile::exists(page))
            break;
        QFile::remove(page);
    }
    QFile::remove(ProgramFiles::thumbsPage());
}

// --- commands ---------------------------------------------------------------------------------------

void MainWindow::RxSpeedButtonThumbsClick()
{
    FrameThumbs1->StopThumbs();
    GrabFromBrowser();
}

bool MainWindow::GrabFromBrowser()
{
    FSelectedWindow = -1;
    BrowserPicker& picker = m_services.picker;
    picker.ClearBrowserList();
    picker.FillBrowserList();
    if (picker.BrowserCount() == 0) {
        if (m_services.windows.Count() == 0)
            m_services.dialogs.information(noBrowserText(m_services.windows.Endpoints()));
        else
            m_services.dialogs.information(QStringLiteral("No browser window shows a web page to grab."));
        return false;
    }
    picker.SetAddLocked(FOpenedFromFile);
    if (picker.exec() != QDialog::Accepted)
        return false;

    FOpenedFromFile = false;
    FAddToExisting = picker.AddToExisting();
    FSelectedWindow = picker.SelectedWindowIndex();
    FrameThumbs1->StopThumbs();
    FrameThumbs1->ShowBlank();
    const std::shared_ptr<BrowserWindow> window = m_services.windows.Item(FSelectedWindow);
    const std::shared_ptr<Document> doc = ThumbnailGrab::readWindow(*window, m_services.progress);
    if (m_closed)
        return true; // closed while the page was read: no harvest behind a closed window
    StartHarvest(doc, window.get());
    return true;
}

void MainWindow::StartHarvest(const std::shared_ptr<Document>& doc, BrowserWindow* source)
{
    FPageHead = ThumbnailGrab::viewHead(*doc, FPageHead);
    FrameThumbs1->GrabDocument(doc, FAddToExisting, source);
}

void MainWindow::SelectLinks1Click(QAction* sender)
{
    switch (sender ? sender->data().toInt() : -1) {
    case 0: FrameThumbs1->SelectAll(); break;
    case 1: FrameThumbs1->DeselectAll(); break;
    case 2: FrameThumbs1->SelectImages(); break;
    case 3: FrameThumbs1->SelectLinks(); break;
    default: break;
    }
}

void MainWindow::RxSpeedButtonDownloadClick()
{
    FrameDownload1->StopView();
    const std::shared_ptr<Document> doc = FrameThumbs1->ThumbsDocument();
    if (!FrameDownload1->StartView(doc, FPageHead))
        m_services.dialogs.information(QStringLiteral("Nothing selected!"));
}

void MainWindow::RxSpeedButtonSaveClick()
{
    if (!FrameDownload1->IsBusy())
        FrameDownload1->SaveView();
}

void MainWindow::OpenThumbnails1Click()
{
    const QString file = m_services.dialogs.openFileName(this);
    if (file.isEmpty())
        return;
    FOpenedFromFile = true;
    FrameThumbs1->OpenThumbs(file);
}

void MainWindow::SaveDownloadlist1Click() { FrameThumbs1->SaveSelectedThumbs(); }

void MainWindow::SaveThumbnails1Click() { FrameThumbs1->SaveAllThumbs(); }

void MainWindow::GetImageSize1Click() { FrameThumbs1->CheckImageSizes(); }

void MainWindow::Options1Click()
{
    m_services.options.exec();
    followLoginSetting();
}

void MainWindow::followLoginSetting()
{
    if (m_services.session)
        m_services.session->setEnabled(m_services.settings.useBrowserLogin());
}

void MainWindow::Info1Click()
{
    auto* info = new AboutDialog(m_services.dialogs, this);
    info->exec();
    delete info;
}

void MainWindow::Close1Click() { close(); }

} // namespace pxt
