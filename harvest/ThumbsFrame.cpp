#include "harvest/ThumbsFrame.h"

#include "browserhost/Error.h"
#include "browserhost/MessageBoxes.h"
#include "browserhost/PaneWidgets.h"
#include "browserhost/ProgramFolder.h"
#include "browserhost/Pump.h"
#include "browserhost/Rounding.h"
#include "harvest/Harvest.h"
#include "harvest/LinkHelpers.h"
#include "harvest/ThumbPage.h"
#include "http/HttpClient.h"
#include "settings/Settings.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace pxt {

namespace {
const QString kReady = QStringLiteral("Ready");
const QString kLoading = QStringLiteral("Loading Thumbnails...");
const QString kComplete = QStringLiteral("Download complete");
const QString kChecking = QStringLiteral("Checking File-Size...");

// The size text written into a picture thumbnail's div.
QString sizeText(const QString& kilobytes)
{
    return QStringLiteral("<font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-size:11px; "
                          "color:#000000;\">&nbsp;&nbsp;")
           + kilobytes + QStringLiteral(" kB </font>");
}

// The kilobytes of the first number after "LENGTH" in the header; empty when there is no usable number.
QString kilobytesFromHeader(const QString& header)
{
    const QString upper = asciiUpper(header);
    qsizetype p = upper.indexOf(QLatin1String("LENGTH"));
    if (p < 0)
        return {};
    const auto isDigit = [&](qsizetype i) { return upper.at(i).unicode() >= '0' && upper.at(i).unicode() <= '9'; };
    while (p < upper.size() && !isDigit(p))
        ++p;
    qsizetype q = p;
    while (q < upper.size() && isDigit(q))
        ++q;
    // No digit at all, or digits running to the very end of the header: no length can be read.
    if (q == p || q >= upper.size())
        return {};
    bool ok = false;
    const double bytes = upper.mid(p, q - p).toDouble(&ok);
    if (!ok || !std::isfinite(bytes))
        return {};
    return QString::number(roundHalfEven(bytes / 1024.0), 'f', 0);
}
} // namespace

TFrameThumbs::TFrameThumbs(BrowserViewFactory& views, Settings& settings, ProgressSink& progress, QWidget* parent)
    : QWidget(parent), HttpClient1(std::make_unique<THttpClient>()), m_settings(settings), m_progress(progress)
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

    connect(RxSpeedButton1, &QToolButton::clicked, this, [this] { guarded([this] { RxSpeedButton1Click(); }); });
    connect(RxSpeedButton2, &QToolButton::clicked, this, [this] { guarded([this] { RxSpeedButton2Click(); }); });
    connect(WebBrowserThumbs, &BrowserView::BeforeNavigate2, this,
            [this](const QString& a, bool* c) { guarded([&] { WebBrowserThumbsBeforeNavigate2(a, c); }); });
    connect(WebBrowserThumbs, &BrowserView::DocumentComplete, this,
            [this] { guarded([this] { WebBrowserThumbsDocumentComplete(); }); });
    connect(WebBrowserThumbs, &BrowserView::ProgressChange, this,
            [this](int p, int m) { guarded([&] { WebBrowserThumbsProgressChange(p, m); }); });
    connect(WebBrowserSel, &BrowserView::DocumentComplete, this,
            [this] { guarded([this] { WebBrowserSelDocumentComplete(); }); });

    HttpClient1->OnPacketRecvd = [this] { HttpClient1PacketRecvd(); };
    HttpClient1->OnSuccess = [this] { HttpClient1Success(); };
}

TFrameThumbs::~TFrameThumbs()
{
    HttpClient1->OnPacketRecvd = nullptr;
    HttpClient1->OnSuccess = nullptr;
}

QString TFrameThumbs::statusText() const { return StatusBar1->text(); }

void TFrameThumbs::setStatus(const QString& text) { StatusBar1->setText(text); }

void TFrameThumbs::showFile(const QString& file) { WebBrowserThumbs->Navigate(file); }

// --- the pane ---------------------------------------------------------------------------------------

void TFrameThumbs::StopThumbs()
{
    FProbeStopped = true;
    HttpClient1->Abort();
    FProbeIndex = -100;
    HttpClient1->Abort();
    WebBrowserThumbs->Stop();
    setStatus(kReady);
    FStatusText.clear();
}

void TFrameThumbs::ShowBlank()
{
    StopThumbs();
    showFile(programFolder() + QStringLiteral("clear.html"));
}

void TFrameThumbs::ReloadThumbs()
{
    StopThumbs();
    const QString thumbs = programFolder() + QStringLiteral("thumbs.html");
    showFile(QFile::exists(thumbs) ? thumbs : programFolder() + QStringLiteral("clear.html"));
}

std::shared_ptr<Document> TFrameThumbs::ThumbsDocument() { return WebBrowserThumbs->document(); }

void TFrameThumbs::RxSpeedButton1Click() { StopThumbs(); }

void TFrameThumbs::RxSpeedButton2Click() { ReloadThumbs(); }

void TFrameThumbs::WebBrowserThumbsBeforeNavigate2(const QString& address, bool* cancel)
{
    FProbeStopped = false;
    setStatus(kLoading);
    if (asciiUpper(address).contains(QLatin1String("HTTP://"))) {
        FProbeStopped = true;
        FProbeIndex = -100;
        *cancel = true;
        Q_EMIT LinkDiverted(address);
    }
}

void TFrameThumbs::WebBrowserThumbsDocumentComplete()
{
    setStatus(kComplete);
    if (!MemoThumbs.isEmpty() && !FProbeStopped) {
        FDocument = ThumbsDocument();
        setStatus(kChecking);
        ProbeFrom(0);
    }
}

void TFrameThumbs::WebBrowserThumbsProgressChange(int progress, int progressMax)
{
    if (FStatusText.isEmpty() || progress <= 0 || progressMax <= 0)
        return;
    const double n = roundHalfEven(double(progress) * 100.0 / double(progressMax));
    if (n >= 100)
        return;
    setStatus(FStatusText + QStringLiteral(" %1 %").arg(int(n)));
}

// --- the thumbnail page -----------------------------------------------------------------------------

void TFrameThumbs::GrabDocument(const std::shared_ptr<Document>& doc, bool addToExisting)
{
    FAddToExisting = addToExisting;
    showFile(programFolder() + QStringLiteral("clear.html"));
    QFile::remove(programFolder() + QStringLiteral("thumbs.html"));
    setStatus(kLoading);
    FStatusText = kLoading;
    WriteThumbPage(doc);
}

void TFrameThumbs::WriteThumbPage(const std::shared_ptr<Document>& doc)
{
    const PageLines before = MemoThumbs;
    int total = 0;
    if (!(FAddToExisting && !MemoThumbs.isEmpty())) {
        MemoThumbs.clear();
        MemoThumbs.append(ThumbPage::headerLine(doc->title()));
    }
    MemoThumbs.append(ThumbPage::titleLine(doc->title(), doc->URL()));

    Harvester harvester(MemoThumbs, m_settings, m_progress);
    harvester.WalkDocument(doc, total);

    const QString thumbs = programFolder() + QStringLiteral("thumbs.html");
    if (total > 0) {
        MemoThumbs.append(ThumbPage::trailerLine());
        writePageLines(thumbs, MemoThumbs);
        showFile(thumbs);
        return;
    }

    // Nothing found: the page stays as it was before this grab.
    MemoThumbs = before;
    if (!MemoThumbs.isEmpty()) {
        writePageLines(thumbs, MemoThumbs);
        showFile(thumbs);
    }
    setStatus(QStringLiteral("No Thumbnails found"));
    const Harvester::Rejections& r = harvester.rejections();
    showInformation(QStringLiteral("No Thumbnails found!\n") + ThumbPage::summaryText(r.link, r.size, r.ratio));
}

// --- selection --------------------------------------------------------------------------------------

template <typename Rule> void TFrameThumbs::forEachInput(Rule rule)
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

void TFrameThumbs::SelectAll()
{
    forEachInput([](Element* e) { e->setStatus(true); });
}

void TFrameThumbs::DeselectAll()
{
    forEachInput([](Element* e) { e->setStatus(false); });
}

void TFrameThumbs::SelectImages()
{
    forEachInput([this](Element* e) { e->setStatus(MatchesFileType(e->name(), m_settings)); });
}

void TFrameThumbs::SelectLinks()
{
    forEachInput([this](Element* e) {
        if (!MatchesFileType(e->name(), m_settings))
            e->setStatus(true);
    });
}

// --- the size probe ---------------------------------------------------------------------------------

void TFrameThumbs::CheckImageSizes()
{
    if (m_probing)
        return; // a run is in progress
    FProbeStopped = false;
    setStatus(kChecking);
    FDocument = ThumbsDocument();
    ProbeFrom(0);
}

void TFrameThumbs::ProbeFrom(int index)
{
    if (m_probing) {
        // A new run while a request is under way: the running loop goes on with it, and the current
        // request no longer writes into a page it was not started for.
        m_requestTaken = true;
        m_nextProbe = index;
        return;
    }
    m_probing = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_probing};

    m_nextProbe = index;
    while (m_nextProbe) {
        FProbeIndex = *m_nextProbe;
        m_nextProbe.reset();
        Element* div = nullptr;
        while (!div) {
            if (FProbeIndex <= -1 || !FDocument || FProbeIndex >= int(FDocument->all().size())) {
                setStatus(kReady);
                FStatusText.clear();
                return;
            }
            Element* e = FDocument->all()[size_t(FProbeIndex)];
            if (e->tagName() == QLatin1String("DIV") && MatchesFileType(e->id(), m_settings))
                div = e;
            else
                ++FProbeIndex;
        }
        pumpMessages();
        if (m_nextProbe)
            continue; // a new run started while messages ran
        // Stopped while messages ran: the next request would clear the client's abort, so send none.
        if (FProbeIndex <= -1 || FProbeStopped) {
            setStatus(kReady);
            FStatusText.clear();
            return;
        }
        const QString address = div->id();
        m_requestTaken = false;
        HttpClient1->Get(address);
        // Without an event taking the request (an error reply without a length) the run ends here.
    }
}

void TFrameThumbs::TakeImageSize()
{
    if (m_requestTaken)
        return;
    m_requestTaken = true;
    pumpMessages();
    if (FDocument && FProbeIndex >= 0 && FProbeIndex < int(FDocument->all().size())) {
        Element* div = FDocument->all()[size_t(FProbeIndex)];
        const QString kilobytes = kilobytesFromHeader(HttpClient1->Header());
        if (!kilobytes.isEmpty()) {
            const QString inner = div->innerHTML();
            if (!inner.contains(kilobytes + QStringLiteral(" kB")))
                div->setInnerHTML(inner + sizeText(kilobytes));
        }
    }
    // The rest of the body is not needed.
    HttpClient1->Disconnect();
    if (!m_nextProbe)
        m_nextProbe = FProbeStopped ? -100 : FProbeIndex + 1;
}

void TFrameThumbs::HttpClient1PacketRecvd()
{
    pumpMessages();
    if (asciiUpper(HttpClient1->Header()).contains(QLatin1String("LENGTH")))
        TakeImageSize();
}

void TFrameThumbs::HttpClient1Success()
{
    pumpMessages();
    repaint();
    TakeImageSize();
}

// --- thumbnail list files ---------------------------------------------------------------------------

void TFrameThumbs::SaveAllThumbs()
{
    if (!WebBrowserThumbs->Busy())
        WebBrowserThumbs->SaveAs();
}

void TFrameThumbs::OpenThumbs(const QString& fileName)
{
    MemoThumbs.clear();
    showFile(fileName);
}

void TFrameThumbs::SaveSelectedThumbs()
{
    MemoTemp.clear();
    const std::shared_ptr<Document> doc = ThumbsDocument();
    MemoTemp.append(ThumbPage::headerLine(doc->title()));
    MemoTemp.append(ThumbPage::tableStartLine());
    int selected = 0;
    const std::vector<Element*>& all = doc->all();
    for (size_t i = 0, n = all.size(); i < n; ++i) {
        Element* e = all[i];
        if (e->tagName() != QLatin1String("DIV"))
            continue;
        for (Element* child : e->children()) {
            if (child->tagName() == QLatin1String("INPUT") && child->checked()) {
                if (selected > 0 && selected % m_settings.thumbColumnCount() == 0)
                    MemoTemp.append(ThumbPage::rowBreakLine());
                ++selected;
                // The cell as the view writes it; a line break inside it (the page's own line end
                // after the cell) starts a new line of the file, so every line ends with CR LF.
                if (Element* cell = e->parentElement()) {
                    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
                    for (const QString& line : cell->outerHTML().split(lineBreak))
                        MemoTemp.append(toPageBytes(line));
                }
            }
        }
    }
    if (MemoTemp.size() > 2) {
        MemoTemp.append(QByteArrayLiteral("</tr></table></form></body></html>"));
        const QString file = programFolder() + QStringLiteral("thumbs_sel.html");
        writePageLines(file, MemoTemp);
        StopThumbs();
        WebBrowserSel->Navigate(file);
    } else {
        showInformation(QStringLiteral("Nothing selected!"));
    }
}

void TFrameThumbs::WebBrowserSelDocumentComplete() { WebBrowserSel->SaveAs(); }

} // namespace pxt
