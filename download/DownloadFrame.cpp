#include "download/DownloadFrame.h"

#include "http/BrowserSession.h"

#include "core/Dialogs.h"
#include "core/Error.h"
#include "ui/PaneWidgets.h"
#include "pages/ViewPage.h"
#include "core/ProgramFiles.h"
#include "harvest/LinkHelpers.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace pxt {

TFrameDownload::TFrameDownload(BrowserViewFactory& views, Settings& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FrameDownload1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(25);
    auto* header = new QHBoxLayout(Panel1);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(0);
    Panel1Caption = paneCaption(QStringLiteral(" Download"), Panel1);
    header->addWidget(Panel1Caption);
    header->addSpacing(8);
    CheckBox1 = new QCheckBox(QStringLiteral("View HTML (if possible)"), Panel1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    header->addWidget(CheckBox1);
    header->addStretch(1);
    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedWidth(50);
    RxSpeedButton1 = paneStopButton(Panel2);
    RxSpeedButton1->move(0, 0);
    RxSpeedButton2 = paneReloadButton(Panel2);
    RxSpeedButton2->move(25, 0);
    header->addWidget(Panel2);
    layout->addWidget(Panel1);

    // The cover lies over exactly the view's area and hides it while it is shown.
    auto* area = new QWidget(this);
    auto* stack = new QStackedLayout(area);
    stack->setStackingMode(QStackedLayout::StackAll);
    WebBrowserDownload = views.create(area);
    WebBrowserDownload->setObjectName(QStringLiteral("WebBrowserDownload"));
    stack->addWidget(WebBrowserDownload->widget());
    PanelDummy = new QLabel(QStringLiteral("Please wait while loading..."), area);
    PanelDummy->setObjectName(QStringLiteral("PanelDummy"));
    PanelDummy->setAlignment(Qt::AlignCenter);
    PanelDummy->setAutoFillBackground(true);
    PanelDummy->setStyleSheet(QStringLiteral("background: white; color: black;"));
    PanelDummy->setCursor(Qt::BusyCursor);
    stack->addWidget(PanelDummy);
    stack->setCurrentWidget(PanelDummy); // on top whenever it is shown
    PanelDummy->hide();
    layout->addWidget(area, 1);

    StatusBar1 = paneStatusLine(this);
    layout->addWidget(StatusBar1);

    connect(RxSpeedButton1, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { StopView(); }); });
    connect(RxSpeedButton2, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { ReloadView(); }); });
    connect(WebBrowserDownload, &BrowserView::DocumentComplete, this,
            [this] { guarded(m_dialogs, [this] { WebBrowserDownloadDocumentComplete(); }); });
    connect(WebBrowserDownload, &BrowserView::ProgressChange, this,
            [this](int p, int m) { guarded(m_dialogs, [&] { WebBrowserDownloadProgressChange(p, m); }); });
}

QString TFrameDownload::statusText() const { return StatusBar1->text(); }

void TFrameDownload::setStatus(const QString& text) { StatusBar1->setText(text); }

bool TFrameDownload::IsBusy() const { return WebBrowserDownload->Busy(); }

void TFrameDownload::StopView()
{
    PanelDummy->hide();
    if (IsBusy())
        WebBrowserDownload->Stop();
}

void TFrameDownload::ReloadView()
{
    if (IsBusy())
        StopView();
    WebBrowserDownload->Refresh();
}

void TFrameDownload::SaveView()
{
    if (!IsBusy())
        WebBrowserDownload->SaveAs();
}

bool TFrameDownload::StartView(const std::shared_ptr<Document>& document, const QString& head)
{
    FSingleLink = false;
    StopView();
    MemoSource.clear();
    MemoLinks.clear();
    FPageHead = head;
    bool selected = false;
    const std::vector<Element*>& all = document->all();
    for (size_t i = 0, n = all.size(); i < n; ++i) {
        const Element* e = all[i];
        if (e->tagName() == QLatin1String("INPUT") && e->status()) {
            MemoSource.append(e->value());
            selected = true;
        }
    }
    if (selected) {
        FPageNo = 1;
        ProcessLink(0);
    }
    return selected;
}

void TFrameDownload::ViewLink(const QString& url)
{
    FSingleLink = true;
    MemoSource.clear();
    MemoLinks.clear();
    MemoSource.append(url);
    FPageNo = 1;
    ProcessLink(0);
}

void TFrameDownload::ProcessLink(int index)
{
    FLinkIndex = index;
    while (FLinkIndex < MemoSource.size()) {
        const QString link = MemoSource.at(FLinkIndex);
        if (MatchesFileType(LinkFileName(link), m_settings)) {
            FLinkWasPage = false;
            MemoLinks.append(link);
            ++FLinkIndex;
            continue;
        }
        FLinkWasPage = true;
        if (!CheckBox1->isChecked())
            PanelDummy->show();
        FStatus = QStringLiteral("Download: ") + link;
        setStatus(FStatus);
        WebBrowserDownload->Navigate(link);
        return; // goes on at the view's document-complete event
    }

    bool show = true;
    if (CheckBox1->isChecked() && FSingleLink) {
        show = !FLinkWasPage;
        FStatus = QStringLiteral("Ready: ") + WebBrowserDownload->LocationURL();
        setStatus(FStatus);
    }
    if (show)
        WriteViewPage();
}

void TFrameDownload::LinkDocumentComplete()
{
    if (FLinkIndex >= MemoSource.size()) {
        setStatus(QStringLiteral("Ready: ") + WebBrowserDownload->LocationURL());
        return;
    }
    // A page whose document cannot be read counts as a page without pictures: the run goes on.
    std::shared_ptr<Document> doc;
    try {
        doc = WebBrowserDownload->document();
    } catch (const Error&) {
    }
    if (doc) {
        const double ratio = m_settings.bannerRatio();
        const ReferrerPolicy pagePolicy = m_session ? DocumentReferrerPolicy(*doc) : ReferrerPolicy::Unset;
        const std::vector<Element*>& all = doc->all();
        for (size_t i = 0, n = all.size(); i < n; ++i) {
            const Element* e = all[i];
            if (e->tagName() == QLatin1String("IMG") && !IsBanner(e->width(), e->height(), ratio)) {
                MemoLinks.append(e->href());
                if (m_session)
                    m_session->addReferer(e->href(), doc->URL(), ImageReferrerPolicy(*e, pagePolicy));
            }
        }
    }
    ProcessLink(FLinkIndex + 1);
}

void TFrameDownload::WriteViewPage()
{
    FStatus = QStringLiteral("Download...");
    setStatus(FStatus);

    const PageLines lines = viewPage(MemoLinks, FPageHead);
    QString path = ProgramFiles::viewPage(FPageNo);
    while (QFile::exists(path)) {
        ++FPageNo;
        path = ProgramFiles::viewPage(FPageNo);
    }
    FPageFile = path;
    writePageLines(FPageFile, lines);
    PanelDummy->hide();
    WebBrowserDownload->Navigate(FPageFile);
}

void TFrameDownload::WebBrowserDownloadDocumentComplete() { LinkDocumentComplete(); }

void TFrameDownload::WebBrowserDownloadProgressChange(int progress, int progressMax)
{
    const QString status = percentStatus(FStatus, progress, progressMax);
    if (!status.isEmpty())
        setStatus(status);
}

} // namespace pxt
