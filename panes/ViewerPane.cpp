#include "panes/ViewerPane.h"

#include "http/BrowserSession.h"

#include "core/Dialogs.h"
#include "core/Error.h"
#include "ui/PaneWidgets.h"
#include "core/AsciiText.h"
#include "harvest/ViewRun.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace pxt {

ViewerPane::ViewerPane(BrowserViewFactory& views, Settings& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs), m_run(settings)
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

QString ViewerPane::statusText() const { return StatusBar1->text(); }

void ViewerPane::setStatus(const QString& text) { StatusBar1->setText(text); }

bool ViewerPane::IsBusy() const { return WebBrowserDownload->Busy(); }

void ViewerPane::StopView()
{
    PanelDummy->hide();
    if (IsBusy())
        WebBrowserDownload->Stop();
}

void ViewerPane::ReloadView()
{
    if (IsBusy())
        StopView();
    WebBrowserDownload->Refresh();
}

void ViewerPane::SaveView()
{
    if (!IsBusy())
        WebBrowserDownload->SaveAs();
}

bool ViewerPane::StartView(const std::shared_ptr<Document>& document, const QString& head)
{
    StopView();
    FPageHead = head;
    m_run.start(ViewRun::selectedLinks(*document), false);
    if (m_run.atEnd())
        return false;
    ProcessLink();
    return true;
}

void ViewerPane::ViewLink(const QString& url)
{
    m_run.start({url}, true);
    ProcessLink();
}

void ViewerPane::ProcessLink()
{
    const QString page = m_run.nextPage();
    if (!page.isEmpty()) {
        if (!CheckBox1->isChecked())
            PanelDummy->show();
        FStatus = QStringLiteral("Download: ") + page;
        setStatus(FStatus);
        WebBrowserDownload->Navigate(page);
        return; // goes on at the view's document-complete event
    }

    bool show = true;
    if (CheckBox1->isChecked() && m_run.singleLink()) {
        show = !m_run.lastWasPage();
        FStatus = QStringLiteral("Ready: ") + WebBrowserDownload->LocationURL();
        setStatus(FStatus);
    }
    if (show)
        WriteViewPage();
}

void ViewerPane::LinkDocumentComplete()
{
    if (m_run.atEnd()) {
        setStatus(QStringLiteral("Ready: ") + WebBrowserDownload->LocationURL());
        return;
    }
    // A page whose document cannot be read counts as a page without pictures: the run goes on.
    std::shared_ptr<Document> doc;
    try {
        doc = WebBrowserDownload->document();
    } catch (const Error&) {
    }
    m_run.takePage(doc.get());
    ProcessLink();
}

void ViewerPane::WriteViewPage()
{
    FStatus = QStringLiteral("Download...");
    setStatus(FStatus);
    FPageFile = m_run.writeViewPage(FPageHead);
    PanelDummy->hide();
    WebBrowserDownload->Navigate(FPageFile);
}

void ViewerPane::WebBrowserDownloadDocumentComplete() { LinkDocumentComplete(); }

void ViewerPane::WebBrowserDownloadProgressChange(int progress, int progressMax)
{
    const QString status = percentStatus(FStatus, progress, progressMax);
    if (!status.isEmpty())
        setStatus(status);
}

} // namespace pxt
