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
#include "harvest/PictureFiles.h"
#include "harvest/ThumbnailGrab.h"
#include "panes/ThumbnailsPane.h"
#include "http/BrowserSession.h"
#include "dialogs/BrowserPicker.h"
#include "ui/WindowPlacement.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"

#include <QAction>
#include <QScopeGuard>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
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
    setObjectName(QStringLiteral("mainWindow"));
    // Without a stored placement: three quarters of the screen, centred; a stored one replaces it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(area.size() * 3 / 4);
        move(area.center() - rect().center());
    } else {
        resize(889, 600);
    }

    buildMenus();
    buildToolButtons();

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pages"));
    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setHandleWidth(5);
    m_splitter->setChildrenCollapsible(false);
    m_thumbnailsPane = new ThumbnailsPane(services.views, services.settings, services.progress, services.dialogs);
    m_viewerPane = new ViewerPane(services.views, services.settings, services.dialogs);
    m_thumbnailsPane->setSession(services.session);
    m_viewerPane->setSession(services.session);
    m_thumbnailsPane->setLinkAnswers(&m_linkAnswers);
    m_viewerPane->setLinkAnswers(&m_linkAnswers);
    m_splitter->addWidget(m_thumbnailsPane);
    m_splitter->addWidget(m_viewerPane);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    const int half = (width() - m_splitter->handleWidth()) / 2;
    m_splitter->setSizes({half, width() - m_splitter->handleWidth() - half});
    m_pages->addWidget(m_splitter);                            // page "Thumbs"
    m_pages->addWidget(new QWidget);                          // page "Download", empty
    m_pages->setCurrentIndex(0);
    setCentralWidget(m_pages);

    // A web link clicked on the thumbnail page is shown in the download pane.
    connect(m_thumbnailsPane, &ThumbnailsPane::linkDiverted, this,
            [this](const QString& address) { guarded(m_services.dialogs, [&] { m_viewerPane->viewLink(address); }); });

    finishCreation();
}

MainWindow::~MainWindow() { onDestroying(); }

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
    connect(a, &QAction::triggered, this, [this, a] { guarded(m_services.dialogs, [&] { onSelect(a); }); });
    return a;
}

void MainWindow::buildMenus()
{
    auto* file = new QMenu(QStringLiteral("&File"), this);
    file->setObjectName(QStringLiteral("fileMenu"));
    addItem(file, QStringLiteral("openThumbnailsAction"), QStringLiteral("&Open Thumbnails..."), &MainWindow::onOpenThumbnails)
        ->setShortcut(QKeySequence::Open);
    file->addSeparator();
    addItem(file, QStringLiteral("saveSelectedThumbnailsAction"), QStringLiteral("S&ave selected Thumbnails..."),
            &MainWindow::onSaveSelectedThumbnails);
    addItem(file, QStringLiteral("saveAllThumbnailsAction"), QStringLiteral("Sa&ve all Thumbnails..."), &MainWindow::onSaveAllThumbnails);
    addItem(file, QStringLiteral("saveImagesAction"), QStringLiteral("&Save Images..."), &MainWindow::onSaveImages)
        ->setShortcut(QKeySequence::Save);
    addItem(file, QStringLiteral("savePicturesAction"), QStringLiteral("Save &Pictures to Folder..."), &MainWindow::onSavePictures)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    addItem(file, QStringLiteral("saveImagesAndThumbnailsAction"), QStringLiteral("&Save Images + Thumbnails..."), nullptr)
        ->setVisible(false);
    file->addSeparator();
    addItem(file, QStringLiteral("closeAction"), QStringLiteral("&Close"), &MainWindow::onExit)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    auto* thumbs = new QMenu(QStringLiteral("&Thumbnails"), this);
    thumbs->setObjectName(QStringLiteral("thumbnailsMenu"));
    addItem(thumbs, QStringLiteral("grabAction"), QStringLiteral("G&rab from Browser..."), &MainWindow::onGrab)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    QMenu* select = thumbs->addMenu(QStringLiteral("S&elect Thumbnails"));
    select->setObjectName(QStringLiteral("selectMenu"));
    select->menuAction()->setObjectName(QStringLiteral("selectMenu"));
    QAction* selectAll = addSelectItem(select, QStringLiteral("selectAllAction"), QStringLiteral("All"), 0);
    // Shown in the menu; it works where the thumbnails pane has the focus (see finishCreation).
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addSelectItem(select, QStringLiteral("selectImagesAction"), QStringLiteral("Images"), 2);
    addSelectItem(select, QStringLiteral("selectLinksAction"), QStringLiteral("Links"), 3);
    select->addSeparator();
    addSelectItem(select, QStringLiteral("deselectAllAction"), QStringLiteral("Deselect All"), 1);
    addItem(thumbs, QStringLiteral("viewSelectedAction"), QStringLiteral("View selected Thumbnails"),
            &MainWindow::onView);
    thumbs->addSeparator();
    addItem(thumbs, QStringLiteral("getImageSizesAction"), QStringLiteral("&Get Image Size"), &MainWindow::onGetImageSizes);
    thumbs->addSeparator();
    addItem(thumbs, QStringLiteral("optionsAction"), QStringLiteral("Options..."), &MainWindow::onOptions);

    auto* help = new QMenu(QStringLiteral("&?"), this);
    help->setObjectName(QStringLiteral("helpMenu"));
    addItem(help, QStringLiteral("helpAction"), QStringLiteral("&Help"), &MainWindow::onHelp)
        ->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    addItem(help, QStringLiteral("infoAction"), QStringLiteral("&Info..."), &MainWindow::onAbout);

    m_menus = {file, thumbs, help};

    m_selectMenu = new QMenu(this);
    m_selectMenu->setObjectName(QStringLiteral("selectButtonMenu"));
    addSelectItem(m_selectMenu, QStringLiteral("selectAllButtonAction"), QStringLiteral("Select All"), 0);
    addSelectItem(m_selectMenu, QStringLiteral("selectImagesButtonAction"), QStringLiteral("Select Images"), 2);
    addSelectItem(m_selectMenu, QStringLiteral("selectLinksButtonAction"), QStringLiteral("Select Links"), 3);
    m_selectMenu->addSeparator();
    addSelectItem(m_selectMenu, QStringLiteral("deselectAllButtonAction"), QStringLiteral("Deselect All"), 1);
}

void MainWindow::buildToolButtons()
{
    // The menu is shown as a row of captioned buttons on a tool bar, not as a classic menu bar.
    m_menuRow = addToolBar(QStringLiteral("Menu"));
    m_menuRow->setObjectName(QStringLiteral("menuRow"));
    m_menuRow->setMovable(false);
    m_menuRow->setMinimumHeight(23);

    addToolBarBreak();
    m_toolBar = addToolBar(QStringLiteral("Tools"));
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setMinimumHeight(26);
    m_toolBar->setIconSize(QSize(18, 18));

    auto tool = [this](const QString& name, const QString& hint, const char* icon, QStyle::StandardPixmap fallback) {
        QToolButton* b = flatToolButton(m_toolBar, name, hint, QLatin1String(icon), fallback);
        m_toolBar->addWidget(b);
        return b;
    };
    m_grabButton = tool(QStringLiteral("grabButton"), QStringLiteral("Grab Thumbnails"),
                               "insert-image", QStyle::SP_ArrowDown);
    m_selectButton = tool(QStringLiteral("selectButton"), QStringLiteral("Select Thumbnails"),
                               "edit-select-all", QStyle::SP_DialogApplyButton);
    m_selectButton->setMenu(m_selectMenu);
    m_selectButton->setPopupMode(QToolButton::InstantPopup);
    m_selectButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    m_viewButton = tool(QStringLiteral("viewButton"), QStringLiteral("View selected Thumbnails"),
                                 "document-preview", QStyle::SP_FileDialogContentsView);
    m_saveButton = tool(QStringLiteral("saveButton"), QStringLiteral("Save Images"),
                             "document-save", QStyle::SP_DialogSaveButton);
    m_savePicturesButton = tool(QStringLiteral("savePicturesButton"), QStringLiteral("Save Pictures to Folder"),
                                "folder-download", QStyle::SP_DirOpenIcon);
    connect(m_grabButton, &QToolButton::clicked, this, [this] { guarded(m_services.dialogs, [this] { onGrab(); }); });
    connect(m_viewButton, &QToolButton::clicked, this,
            [this] { guarded(m_services.dialogs, [this] { onView(); }); });
    connect(m_saveButton, &QToolButton::clicked, this, [this] { guarded(m_services.dialogs, [this] { onSaveImages(); }); });
    connect(m_savePicturesButton, &QToolButton::clicked, this,
            [this] { guarded(m_services.dialogs, [this] { onSavePictures(); }); });
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

void MainWindow::finishCreation()
{
    if (m_services.showSplash) {
        auto* splash = new SplashWindow();
        splash->showAtOnce();
    }
    for (QMenu* menu : m_menus) {
        auto* b = new QToolButton(m_menuRow);
        b->setObjectName(menu->objectName() + QStringLiteral("Button"));
        b->setText(menu->title());
        b->setMenu(menu);
        b->setPopupMode(QToolButton::InstantPopup);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(true);
        b->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
        m_menuRow->addWidget(b);
    }
    // The menus are popups: their keys work through the window, Select All only where the
    // thumbnails pane has the focus.
    for (QMenu* menu : findChildren<QMenu*>()) {
        for (QAction* action : menu->actions()) {
            if (action->shortcut().isEmpty())
                continue;
            if (action->shortcutContext() == Qt::WidgetWithChildrenShortcut)
                m_thumbnailsPane->addAction(action);
            else
                addAction(action);
        }
    }
    m_placement = std::make_unique<WindowPlacement>(this, SettingsKeys::kMainFormSection, m_services.dialogs);
    m_placement->addIntProperty(SettingsKeys::kThumbsPaneWidth, [this] { return m_thumbnailsPane->width(); },
                                 [this](int w) {
                                     const int total = m_splitter->width() > 0 ? m_splitter->width() : width();
                                     m_splitter->setSizes({w, qMax(0, total - w - m_splitter->handleWidth())});
                                 });
    setWindowTitle(kTitle);
    // The title of the message boxes; not Qt's display name, which the window system would append
    // to every window caption.
    m_services.dialogs.setApplicationTitle(kTitle);
    m_thumbnailsPane->showBlank();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_closed = false;
    if (!event->spontaneous())
        guarded(m_services.dialogs, [this] { onFirstShow(); });
}

void MainWindow::onFirstShow()
{
    m_placement->restore();
    // The stored options and the settings snapshot are in force before any command can run.
    m_services.options.loadAtStart();
    followLoginSetting();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    m_closed = true;
    guarded(m_services.dialogs, [this] { onClosing(); });
    QMainWindow::closeEvent(event);
}

void MainWindow::onClosing()
{
    m_thumbnailsPane->cancelHarvest();
    m_thumbnailsPane->stop();
    m_viewerPane->stop();
    m_viewerPane->endSaving();
    m_placement->save(false);
}

void MainWindow::onDestroying()
{
    guarded(m_services.dialogs, [this] {
        if (m_placement)
            m_placement->save(true);
    });
    for (int n = 1;; ++n) {
        const QString page = ProgramFiles::viewPage(n);
        if (!QFile::exists(page))
            break;
        QFile::remove(page);
    }
    QFile::remove(ProgramFiles::thumbsPage());
    QFile::remove(ProgramFiles::selectedPage());
}

// --- commands ---------------------------------------------------------------------------------------

void MainWindow::onGrab()
{
    if (m_grabbing)
        return;
    m_thumbnailsPane->stop();
    grabFromBrowser();
}

bool MainWindow::grabFromBrowser()
{
    if (m_grabbing)
        return false;
    m_grabbing = true;
    const auto done = qScopeGuard([this] { m_grabbing = false; });
    m_selectedWindow = -1;
    BrowserPicker& picker = m_services.picker;
    picker.clearList();
    picker.fillList();
    if (picker.rowCount() == 0) {
        if (m_services.windows.count() > 0) {
            m_services.dialogs.information(QStringLiteral("No browser window shows a web page to grab."));
            return false;
        }
        // The box offers to start a browser for the program; once its window is listed the grab goes on.
        const int start = m_services.dialogs.informationWithActions(noBrowserText(m_services.windows.endpoints()),
                                                                    picker.startCaptions());
        if (start < 0 || !picker.startBrowser(start) || m_closed)
            return false;
    }
    picker.setAddLocked(m_openedFromFile);
    if (picker.exec() != QDialog::Accepted)
        return false;

    m_openedFromFile = false;
    m_addToExisting = picker.addToExisting();
    m_selectedWindow = picker.selectedWindowIndex();
    m_thumbnailsPane->stop();
    m_thumbnailsPane->showBlank();
    const std::shared_ptr<BrowserWindow> window = m_services.windows.item(m_selectedWindow);
    picker.setStartPage(window->locationUrl()); // what a browser started later opens
    const std::shared_ptr<Document> doc = ThumbnailGrab::readWindow(*window, m_services.progress);
    if (m_closed)
        return true; // closed while the page was read: no harvest behind a closed window
    startHarvest(doc, window.get());
    return true;
}

void MainWindow::startHarvest(const std::shared_ptr<Document>& doc, BrowserWindow* source)
{
    m_pageHead = ThumbnailGrab::viewHead(*doc, m_pageHead);
    m_galleryTitle = doc->title();
    m_thumbnailsPane->grabDocument(doc, m_addToExisting, source);
}

void MainWindow::onSelect(QAction* sender)
{
    switch (sender ? sender->data().toInt() : -1) {
    case 0: m_thumbnailsPane->selectAll(); break;
    case 1: m_thumbnailsPane->deselectAll(); break;
    case 2: m_thumbnailsPane->selectImages(); break;
    case 3: m_thumbnailsPane->selectLinks(); break;
    default: break;
    }
}

void MainWindow::onView()
{
    m_viewerPane->stop();
    const std::shared_ptr<Document> doc = m_thumbnailsPane->thumbnailsDocument();
    if (!m_viewerPane->startView(doc, m_pageHead))
        m_services.dialogs.information(QStringLiteral("Nothing selected!"));
}

void MainWindow::onSaveImages()
{
    if (!m_viewerPane->isBusy())
        m_viewerPane->saveImages();
}

QString MainWindow::defaultPictureFolder() const
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath();
    const QString folder = pictures + QStringLiteral("/Pixtrawl");
    const QString title = PictureFiles::safeName(m_galleryTitle);
    return title.isEmpty() ? folder : folder + QLatin1Char('/') + title;
}

void MainWindow::onSavePictures()
{
    if (m_viewerPane->isSaving())
        return;
    if (m_viewerPane->picturesToSave().isEmpty()) {
        m_services.dialogs.information(QStringLiteral("No pictures to save: view selected thumbnails first."));
        return;
    }
    QString start = lastPictureFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = defaultPictureFolder();
    // The chooser opens in the folder, so it is made first; what was made for it goes again on cancel.
    QStringList made;
    for (QString f = QDir::cleanPath(start); !f.isEmpty() && !QFileInfo::exists(f); f = QFileInfo(f).path())
        made << f;
    QDir().mkpath(start);
    const QString folder = QDir::cleanPath(m_services.dialogs.existingFolder(this, start));
    for (const QString& f : made) {
        if (folder != f && !folder.startsWith(f + QLatin1Char('/')))
            QDir().rmdir(f); // only while empty
    }
    if (folder.isEmpty() || folder == QLatin1String("."))
        return;
    m_viewerPane->savePictures(folder);
    storeLastPictureFolder(folder);
}

void MainWindow::onOpenThumbnails()
{
    const QString file = m_services.dialogs.openFileName(this);
    if (file.isEmpty())
        return;
    m_openedFromFile = true;
    m_thumbnailsPane->openThumbnails(file);
}

void MainWindow::onSaveSelectedThumbnails() { m_thumbnailsPane->saveSelectedThumbnails(); }

void MainWindow::onSaveAllThumbnails() { m_thumbnailsPane->saveAllThumbnails(); }

void MainWindow::onGetImageSizes() { m_thumbnailsPane->checkImageSizes(); }

void MainWindow::onOptions()
{
    m_services.options.exec();
    followLoginSetting();
}

void MainWindow::followLoginSetting()
{
    if (m_services.session)
        m_services.session->setEnabled(m_services.settings.useBrowserLogin());
}

void MainWindow::onAbout()
{
    auto* info = new AboutDialog(m_services.dialogs, this);
    info->exec();
    delete info;
}

void MainWindow::onExit() { close(); }

void MainWindow::onHelp()
{
    const QString guide = ProgramFiles::userGuide();
    if (!QFile::exists(guide)) {
        m_services.dialogs.error(QStringLiteral("The user guide is missing: ") + guide);
        return;
    }
    m_viewerPane->showPage(guide);
}

} // namespace pxt
