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
    : QWidget(parent), Probe(std::make_unique<SizeProbe>(settings)), m_settings(settings), m_progress(progress),
      m_grab(std::make_unique<ThumbnailGrab>(settings, progress)), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FrameThumbs1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(25);
    auto* titleLayout = new QHBoxLayout(Panel2);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(0);
    Panel2Caption = paneCaption(QStringLiteral(" Thumbnails"), Panel2);
    titleLayout->addWidget(Panel2Caption, 1);
    Panel3 = new QWidget(Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(52);
    RxSpeedButton1 = paneStopButton(Panel3);
    RxSpeedButton1->move(1, 0);
    RxSpeedButton2 = paneReloadButton(Panel3);
    RxSpeedButton2->move(26, 0);
    titleLayout->addWidget(Panel3);
    layout->addWidget(Panel2);

    // The selection's view lies behind the shown one and is never brought to the front.
    auto* views_ = new QWidget(this);
    auto* stack = new QStackedLayout(views_);
    stack->setStackingMode(QStackedLayout::StackAll);
    WebBrowserThumbs = views.create(views_);
    WebBrowserThumbs->setObjectName(QStringLiteral("WebBrowserThumbs"));
    WebBrowserSel = views.create(views_);
    WebBrowserSel->setObjectName(QStringLiteral("WebBrowserSel"));
    WebBrowserSel->widget()->resize(300, 150);
    stack->addWidget(WebBrowserSel->widget());
    stack->addWidget(WebBrowserThumbs->widget());
    stack->setCurrentWidget(WebBrowserThumbs->widget());
    WebBrowserThumbs->widget()->raise();
    layout->addWidget(views_, 1);

    StatusBar1 = paneStatusLine(this);
    layout->addWidget(StatusBar1);

    connect(RxSpeedButton1, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { RxSpeedButton1Click(); }); });
    connect(RxSpeedButton2, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { RxSpeedButton2Click(); }); });
    connect(WebBrowserThumbs, &BrowserView::BeforeNavigate2, this,
            [this](const QString& a, bool* c) { guarded(m_dialogs, [&] { WebBrowserThumbsBeforeNavigate2(a, c); }); });
    connect(WebBrowserThumbs, &BrowserView::DocumentComplete, this,
            [this] { guarded(m_dialogs, [this] { WebBrowserThumbsDocumentComplete(); }); });
    connect(WebBrowserThumbs, &BrowserView::ProgressChange, this,
            [this](int p, int m) { guarded(m_dialogs, [&] { WebBrowserThumbsProgressChange(p, m); }); });
    connect(WebBrowserSel, &BrowserView::DocumentComplete, this,
            [this] { guarded(m_dialogs, [this] { WebBrowserSelDocumentComplete(); }); });

    Probe->OnReply = [this] { update(); };
    Probe->OnFinished = [this] {
        setStatus(kReady);
        FStatusText.clear();
    };
}

ThumbnailsPane::~ThumbnailsPane() = default;

QString ThumbnailsPane::statusText() const { return StatusBar1->text(); }

void ThumbnailsPane::setStatus(const QString& text) { StatusBar1->setText(text); }

void ThumbnailsPane::showFile(const QString& file) { WebBrowserThumbs->Navigate(file); }

// --- the pane ---------------------------------------------------------------------------------------

void ThumbnailsPane::StopThumbs()
{
    FProbeStopped = true;
    Probe->Stop();
    WebBrowserThumbs->Stop();
    setStatus(kReady);
    FStatusText.clear();
}

void ThumbnailsPane::ShowBlank()
{
    StopThumbs();
    showFile(ProgramFiles::blankPage());
}

void ThumbnailsPane::ReloadThumbs()
{
    StopThumbs();
    const QString thumbs = ProgramFiles::thumbsPage();
    showFile(QFile::exists(thumbs) ? thumbs : ProgramFiles::blankPage());
}

std::shared_ptr<Document> ThumbnailsPane::ThumbsDocument() { return WebBrowserThumbs->document(); }

void ThumbnailsPane::RxSpeedButton1Click() { StopThumbs(); }

void ThumbnailsPane::RxSpeedButton2Click() { ReloadThumbs(); }

void ThumbnailsPane::WebBrowserThumbsBeforeNavigate2(const QString& address, bool* cancel)
{
    FProbeStopped = false;
    setStatus(kLoading);
    const QString upper = asciiUpper(address);
    if (upper.contains(QLatin1String("HTTP://")) || upper.contains(QLatin1String("HTTPS://"))) {
        FProbeStopped = true;
        Probe->StopAfterRequest();
        *cancel = true;
        Q_EMIT LinkDiverted(address);
    }
}

void ThumbnailsPane::WebBrowserThumbsDocumentComplete()
{
    setStatus(kComplete);
    if (!pageLines().isEmpty() && !FProbeStopped) {
        setStatus(kChecking);
        Probe->Start(ThumbsDocument());
    }
}

void ThumbnailsPane::WebBrowserThumbsProgressChange(int progress, int progressMax)
{
    if (FStatusText.isEmpty())
        return;
    const QString status = percentStatus(FStatusText, progress, progressMax);
    if (!status.isEmpty())
        setStatus(status);
}

// --- the thumbnail page -----------------------------------------------------------------------------

void ThumbnailsPane::setSession(BrowserSession* session)
{
    m_session = session;
    m_grab->setSession(session);
    Probe->setSession(session);
}

void ThumbnailsPane::GrabDocument(const std::shared_ptr<Document>& doc, bool addToExisting, BrowserWindow* source)
{
    FAddToExisting = addToExisting;
    showFile(ProgramFiles::blankPage());
    setStatus(kLoading);
    FStatusText = kLoading;
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
        FStatusText.clear();
        m_dialogs.information(QStringLiteral("No Thumbnails found!\n") + ThumbPage::summaryText(outcome.rejected));
        setStatus(QStringLiteral("No Thumbnails found"));
        return;
    }
}

void ThumbnailsPane::CancelHarvest() { m_grab->abort(); }

const PageLines& ThumbnailsPane::pageLines() const { return m_grab->pageLines(); }

// --- selection --------------------------------------------------------------------------------------

template <typename Rule> void ThumbnailsPane::forEachInput(Rule rule)
{
    const std::shared_ptr<Document> doc = ThumbsDocument();
    const std::vector<Element*>& all = doc->all();
    const size_t n = all.size();
    for (size_t i = 0; i < n && i < all.size(); ++i) {
        Element* e = all[i];
        if (e->tagName() == QLatin1String("INPUT"))
            rule(e);
    }
}

void ThumbnailsPane::SelectAll()
{
    forEachInput([](Element* e) { e->setStatus(true); });
}

void ThumbnailsPane::DeselectAll()
{
    forEachInput([](Element* e) { e->setStatus(false); });
}

void ThumbnailsPane::SelectImages()
{
    forEachInput([this](Element* e) { e->setStatus(MatchesFileType(e->name(), m_settings)); });
}

void ThumbnailsPane::SelectLinks()
{
    forEachInput([this](Element* e) {
        if (!MatchesFileType(e->name(), m_settings))
            e->setStatus(true);
    });
}

// --- the size probe ---------------------------------------------------------------------------------

void ThumbnailsPane::CheckImageSizes()
{
    if (Probe->walking())
        return; // a run is in progress
    FProbeStopped = false;
    setStatus(kChecking);
    Probe->Start(ThumbsDocument());
}

const std::shared_ptr<Document>& ThumbnailsPane::FDocument() const { return Probe->document(); }

int ThumbnailsPane::FProbeIndex() const { return Probe->index(); }

// --- thumbnail list files ---------------------------------------------------------------------------

void ThumbnailsPane::SaveAllThumbs()
{
    if (!WebBrowserThumbs->Busy())
        WebBrowserThumbs->SaveAs();
}

void ThumbnailsPane::OpenThumbs(const QString& fileName)
{
    StopThumbs();
    m_grab->clearPage();
    showFile(fileName);
}

void ThumbnailsPane::SaveSelectedThumbs()
{
    const PageLines selected = selectedThumbsPage(*ThumbsDocument(), m_settings.thumbColumnCount());
    if (!selected.isEmpty()) {
        const QString file = ProgramFiles::selectedPage();
        writePageLines(file, selected);
        StopThumbs();
        WebBrowserSel->Navigate(file);
    } else {
        m_dialogs.information(QStringLiteral("Nothing selected!"));
    }
}

void ThumbnailsPane::WebBrowserSelDocumentComplete() { WebBrowserSel->SaveAs(); }

} // namespace pxt
