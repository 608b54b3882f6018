#include "panes/ThumbnailsPane.h"

#include "core/Error.h"
#include "core/Dialogs.h"
#include "ui/PaneWidgets.h"
#include "core/ProgramFiles.h"
#include "harvest/ThumbnailGrab.h"
#include "harvest/LinkHelpers.h"
#include "pages/SelectedPage.h"
#include "pages/ThumbPage.h"
#include "harvest/SizeProbe.h"
#include "ui/PictureDimensions.h"
#include "http/BrowserSession.h"
#include "browser/BrowserWindows.h"
#include "settings/Settings.h"

#include <QFile>
#include <QUrl>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace pxt {

namespace {
const QString kReady = QStringLiteral("Ready");
const QString kLoading = QStringLiteral("Loading Thumbnails...");
const QString kComplete = QStringLiteral("Download complete");
const QString kChecking = QStringLiteral("Checking File-Size...");

} // namespace

ThumbnailsPane::ThumbnailsPane(BrowserViewFactory& views, Settings& settings, ProgressSink& progress, Dialogs& dialogs,
                           QWidget* parent)
    : QWidget(parent), m_probe(std::make_unique<SizeProbe>(settings)), m_settings(settings), m_progress(progress),
      m_grab(std::make_unique<ThumbnailGrab>(settings, progress)), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("thumbnailsPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName(QStringLiteral("titleBar"));
    m_titleBar->setFixedHeight(25);
    auto* titleLayout = new QHBoxLayout(m_titleBar);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(0);
    m_caption = paneCaption(QStringLiteral(" Thumbnails"), m_titleBar);
    titleLayout->addWidget(m_caption, 1);
    m_buttons = new QWidget(m_titleBar);
    m_buttons->setObjectName(QStringLiteral("buttons"));
    m_buttons->setFixedWidth(52);
    m_stopButton = paneStopButton(m_buttons);
    m_stopButton->move(1, 0);
    m_reloadButton = paneReloadButton(m_buttons);
    m_reloadButton->move(26, 0);
    titleLayout->addWidget(m_buttons);
    layout->addWidget(m_titleBar);

    // The selection's view lies behind the shown one and is never brought to the front.
    auto* views_ = new QWidget(this);
    auto* stack = new QStackedLayout(views_);
    stack->setStackingMode(QStackedLayout::StackAll);
    m_view = views.create(views_);
    m_view->setObjectName(QStringLiteral("view"));
    m_selectionView = views.create(views_);
    m_selectionView->setObjectName(QStringLiteral("selectionView"));
    m_selectionView->widget()->resize(300, 150);
    stack->addWidget(m_selectionView->widget());
    stack->addWidget(m_view->widget());
    stack->setCurrentWidget(m_view->widget());
    m_view->widget()->raise();
    layout->addWidget(views_, 1);

    m_statusLine = paneStatusLine(this);
    layout->addWidget(m_statusLine);

    connect(m_stopButton, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { onStop(); }); });
    addPaneKeys(this, m_stopButton, m_reloadButton);
    connect(m_reloadButton, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { onReload(); }); });
    connect(m_view, &BrowserView::navigationRequested, this,
            [this](const QString& a, bool* c) { guarded(m_dialogs, [&] { onNavigating(a, c); }); });
    connect(m_view, &BrowserView::documentComplete, this,
            [this] { guarded(m_dialogs, [this] { onPageLoaded(); }); });
    connect(m_view, &BrowserView::loadProgress, this,
            [this](int p, int m) { guarded(m_dialogs, [&] { onLoadProgress(p, m); }); });
    connect(m_selectionView, &BrowserView::documentComplete, this,
            [this] { guarded(m_dialogs, [this] { onSelectionPageLoaded(); }); });

    m_probe->setDimensionReader(pictureDimensions);
    m_probe->onReply = [this] { update(); };
    m_probe->onFinished = [this] {
        setStatus(kReady);
        m_loadingText.clear();
    };
}

ThumbnailsPane::~ThumbnailsPane() = default;

QString ThumbnailsPane::statusText() const { return m_statusLine->text(); }

void ThumbnailsPane::setStatus(const QString& text) { m_statusLine->setText(text); }

void ThumbnailsPane::showFile(const QString& file) { m_view->navigate(file); }

// --- the pane ---------------------------------------------------------------------------------------

void ThumbnailsPane::stop()
{
    m_probeStopped = true;
    m_probe->stop();
    m_view->stop();
    setStatus(kReady);
    m_loadingText.clear();
}

void ThumbnailsPane::showBlank()
{
    stop();
    showFile(ProgramFiles::blankPage());
}

void ThumbnailsPane::reload()
{
    stop();
    const QString thumbs = ProgramFiles::thumbsPage();
    showFile(QFile::exists(thumbs) ? thumbs : ProgramFiles::blankPage());
}

std::shared_ptr<Document> ThumbnailsPane::thumbnailsDocument() { return m_view->document(); }

void ThumbnailsPane::onStop() { stop(); }

void ThumbnailsPane::onReload() { reload(); }

void ThumbnailsPane::onNavigating(const QString& address, bool* cancel)
{
    const QString upper = asciiUpper(address);
    if (upper.contains(QLatin1String("HTTP://")) || upper.contains(QLatin1String("HTTPS://"))) {
        setStatus(kLoading);
        m_probeStopped = true;
        m_probe->stopAfterRequest();
        *cancel = true;
        Q_EMIT linkDiverted(address);
        return;
    }
    // The page the probe writes into goes: its run ends before the load, never inside one of its
    // writes. The loading text stays, for the new page's progress.
    if (m_probe->walking()) {
        const QString loading = m_loadingText;
        m_probe->stop();
        m_loadingText = loading;
    }
    m_probeStopped = false;
    setStatus(kLoading);
}

void ThumbnailsPane::onPageLoaded()
{
    setStatus(kComplete);
    if (!pageLines().isEmpty() && !m_probeStopped) {
        setStatus(kChecking);
        m_probe->start(thumbnailsDocument());
    }
}

void ThumbnailsPane::onLoadProgress(int progress, int progressMax)
{
    if (m_loadingText.isEmpty())
        return;
    const QString status = percentStatus(m_loadingText, progress, progressMax);
    if (!status.isEmpty())
        setStatus(status);
}

// --- the thumbnail page -----------------------------------------------------------------------------

void ThumbnailsPane::setSession(BrowserSession* session)
{
    m_session = session;
    m_grab->setSession(session);
    m_probe->setSession(session);
}

void ThumbnailsPane::setLinkAnswers(LinkAnswers* answers) { m_probe->setLinkAnswers(answers); }

void ThumbnailsPane::grabDocument(const std::shared_ptr<Document>& doc, bool addToExisting, BrowserWindow* source)
{
    m_addToExisting = addToExisting;
    showFile(ProgramFiles::blankPage());
    setStatus(kLoading);
    m_loadingText = kLoading;
    const ThumbnailGrab::Outcome outcome = m_grab->grab(doc, addToExisting, source);
    switch (outcome.kind) {
    case ThumbnailGrab::Outcome::Aborted:
        return;
    case ThumbnailGrab::Outcome::Written:
        showFile(ProgramFiles::thumbsPage());
        return;
    case ThumbnailGrab::Outcome::NothingFound:
        if (!pageLines().isEmpty())
            showFile(ProgramFiles::thumbsPage());
        // The status goes up after the box: the restored page loads while the box is shown and would
        // overwrite it, and without a status text of its own its progress leaves the status alone.
        m_loadingText.clear();
        m_dialogs.information(QStringLiteral("No Thumbnails found!\n") + ThumbPage::summaryText(outcome.rejected));
        setStatus(QStringLiteral("No Thumbnails found"));
        return;
    }
}

void ThumbnailsPane::cancelHarvest() { m_grab->abort(); }

const PageLines& ThumbnailsPane::pageLines() const { return m_grab->pageLines(); }

// --- selection --------------------------------------------------------------------------------------

template <typename Rule> void ThumbnailsPane::forEachInput(Rule rule)
{
    const std::shared_ptr<Document> doc = thumbnailsDocument();
    const std::vector<Element*>& all = doc->all();
    const size_t n = all.size();
    for (size_t i = 0; i < n && i < all.size(); ++i) {
        Element* e = all[i];
        if (e->tagName() == QLatin1String("INPUT"))
            rule(e);
    }
}

void ThumbnailsPane::selectAll()
{
    forEachInput([](Element* e) { e->setStatus(true); });
}

void ThumbnailsPane::deselectAll()
{
    forEachInput([](Element* e) { e->setStatus(false); });
}

void ThumbnailsPane::selectImages()
{
    forEachInput([this](Element* e) { e->setStatus(matchesFileType(e->name(), m_settings)); });
}

void ThumbnailsPane::selectLinks()
{
    forEachInput([this](Element* e) {
        if (!matchesFileType(e->name(), m_settings))
            e->setStatus(true);
    });
}

// --- the size probe ---------------------------------------------------------------------------------

void ThumbnailsPane::checkImageSizes()
{
    if (m_probe->walking())
        return; // a run is in progress
    m_probeStopped = false;
    setStatus(kChecking);
    m_probe->start(thumbnailsDocument());
}

// --- thumbnail list files ---------------------------------------------------------------------------

void ThumbnailsPane::saveAllThumbnails()
{
    if (!m_view->isBusy())
        m_view->saveAs();
}

void ThumbnailsPane::openThumbnails(const QString& fileName)
{
    stop();
    m_grab->clearPage();
    showFile(fileName);
}

void ThumbnailsPane::saveSelectedThumbnails()
{
    const PageLines selected = selectedThumbsPage(*thumbnailsDocument(), m_settings.thumbColumnCount(), m_settings.thumbnailSize());
    if (!selected.isEmpty()) {
        const QString file = ProgramFiles::selectedPage();
        writeProgramPage(file, selected);
        stop();
        m_selectionView->navigate(file);
    } else {
        m_dialogs.information(QStringLiteral("Nothing selected!"));
    }
}

void ThumbnailsPane::onSelectionPageLoaded() { m_selectionView->saveAs(); }

} // namespace pxt
