#include "panes/ViewerPane.h"

#include "harvest/NetworkPictureSource.h"
#include "http/BrowserSession.h"
#include "http/HttpClient.h"

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
#include <QTimer>
#include <QUrl>
#include <QToolButton>
#include <QVBoxLayout>

namespace pxt {

ViewerPane::ViewerPane(BrowserViewFactory& views, Settings& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs), m_run(settings),
      m_asker(std::make_unique<HttpClient>()), m_network(std::make_unique<NetworkPictureSource>(nullptr)),
      m_saver(std::make_unique<PictureSaver>(*m_network))
{
    m_asker->onPacketReceived = [this] { onAnswer(); };
    m_asker->onDone = [this] { onAnswer(); };
    setObjectName(QStringLiteral("viewerPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName(QStringLiteral("titleBar"));
    m_titleBar->setFixedHeight(25);
    auto* header = new QHBoxLayout(m_titleBar);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(0);
    m_caption = paneCaption(QStringLiteral(" Download"), m_titleBar);
    header->addWidget(m_caption);
    header->addSpacing(8);
    m_viewHtmlBox = new QCheckBox(QStringLiteral("View HTML (if possible)"), m_titleBar);
    m_viewHtmlBox->setObjectName(QStringLiteral("viewHtmlBox"));
    m_viewHtmlBox->setChecked(true);
    header->addWidget(m_viewHtmlBox);
    header->addStretch(1);
    m_buttons = new QWidget(m_titleBar);
    m_buttons->setObjectName(QStringLiteral("buttons"));
    m_buttons->setFixedWidth(50);
    m_stopButton = paneStopButton(m_buttons);
    m_stopButton->move(0, 0);
    m_reloadButton = paneReloadButton(m_buttons);
    m_reloadButton->move(25, 0);
    header->addWidget(m_buttons);
    layout->addWidget(m_titleBar);

    // The cover lies over exactly the view's area and hides it while it is shown.
    auto* area = new QWidget(this);
    auto* stack = new QStackedLayout(area);
    stack->setStackingMode(QStackedLayout::StackAll);
    m_view = views.create(area);
    m_view->setObjectName(QStringLiteral("view"));
    stack->addWidget(m_view->widget());
    m_cover = new QLabel(QStringLiteral("Please wait while loading..."), area);
    m_cover->setObjectName(QStringLiteral("cover"));
    m_cover->setAlignment(Qt::AlignCenter);
    m_cover->setAutoFillBackground(true);
    m_cover->setStyleSheet(QStringLiteral("background: white; color: black;"));
    m_cover->setCursor(Qt::BusyCursor);
    stack->addWidget(m_cover);
    stack->setCurrentWidget(m_cover); // on top whenever it is shown
    m_cover->hide();
    layout->addWidget(area, 1);

    m_statusLine = paneStatusLine(this);
    layout->addWidget(m_statusLine);

    // The one Stop ends what the pane does: the loading and a save.
    connect(m_stopButton, &QToolButton::clicked, this, [this] {
        guarded(m_dialogs, [this] {
            stop();
            m_saver->stop();
        });
    });
    m_saver->onProgress = [this](int number, int count, const QString& name) {
        setStatus(QStringLiteral("Saving %1 of %2: %3").arg(number).arg(count).arg(name));
    };
    m_saver->onFinished = [this](const PictureSaver::Outcome& outcome) {
        setStatus(PictureSaver::headline(outcome));
        // The box waits for the user: shown once the saver's call has returned.
        if (!m_quietEnd)
            QTimer::singleShot(0, this, [this, outcome] { guarded(m_dialogs, [&] { onSavingFinished(outcome); }); });
    };
    addPaneKeys(this, m_stopButton, m_reloadButton);
    connect(m_reloadButton, &QToolButton::clicked, this, [this] { guarded(m_dialogs, [this] { reload(); }); });
    connect(m_view, &BrowserView::documentComplete, this,
            [this] { guarded(m_dialogs, [this] { onPageLoaded(); }); });
    connect(m_view, &BrowserView::loadProgress, this,
            [this](int p, int m) { guarded(m_dialogs, [&] { onLoadProgress(p, m); }); });
}

ViewerPane::~ViewerPane()
{
    m_asker->onPacketReceived = nullptr;
    m_asker->onDone = nullptr;
    endSaving();
}

void ViewerPane::setSession(BrowserSession* session)
{
    m_run.setSession(session);
    m_asker->setSession(session);
    if (m_saver->running())
        return;
    m_network = std::make_unique<NetworkPictureSource>(session);
    m_saver->setSource(*m_network);
}

void ViewerPane::setPictureSource(PictureSource* source)
{
    if (!m_saver->running())
        m_saver->setSource(source ? *source : *m_network);
}

QList<PictureToSave> ViewerPane::picturesToSave() const
{
    return m_run.atEnd() ? m_run.picturesToSave() : QList<PictureToSave>();
}

bool ViewerPane::savePictures(const QString& folder)
{
    m_quietEnd = false;
    return m_saver->start(picturesToSave(), folder, m_settings.parallelRequests());
}

void ViewerPane::endSaving()
{
    m_quietEnd = true;
    m_saver->stop();
}

void ViewerPane::onSavingFinished(const PictureSaver::Outcome& outcome)
{
    if (m_dialogs.informationWithActions(PictureSaver::summary(outcome), {QStringLiteral("Open Folder")}) == 0)
        m_dialogs.openUrl(QUrl::fromLocalFile(outcome.folder));
}

QString ViewerPane::statusText() const { return m_statusLine->text(); }

void ViewerPane::setStatus(const QString& text) { m_statusLine->setText(text); }

bool ViewerPane::isBusy() const { return m_view->isBusy(); }

void ViewerPane::stop()
{
    ++m_question;
    m_asker->cancel();
    m_cover->hide();
    if (isBusy())
        m_view->stop();
}

void ViewerPane::reload()
{
    if (isBusy())
        stop();
    m_view->refresh();
}

void ViewerPane::saveImages()
{
    if (!isBusy())
        m_view->saveAs();
}

void ViewerPane::showPage(const QString& file)
{
    stop();
    m_view->navigate(file);
}

bool ViewerPane::startView(const std::shared_ptr<Document>& document, const QString& head)
{
    stop();
    m_pageHead = head;
    m_run.start(ViewRun::selectedLinks(*document), false);
    if (m_run.atEnd())
        return false;
    processLink();
    return true;
}

void ViewerPane::viewLink(const QString& url)
{
    m_run.start({url}, true);
    processLink();
}

void ViewerPane::processLink()
{
    const QString page = m_run.nextPage();
    if (!page.isEmpty()) {
        if (!m_viewHtmlBox->isChecked())
            m_cover->show();
        m_loadingText = QStringLiteral("Download: ") + page;
        setStatus(m_loadingText);
        m_view->navigate(page);
        return; // goes on at the view's document-complete event
    }
    if (!m_run.linkToAsk().isEmpty()) {
        askAbout(m_run.linkToAsk());
        return; // goes on when the answer's header has come
    }

    bool show = true;
    if (m_viewHtmlBox->isChecked() && m_run.singleLink()) {
        show = !m_run.lastWasPage();
        m_loadingText = QStringLiteral("Ready: ") + m_view->locationUrl();
        setStatus(m_loadingText);
    }
    if (show)
        writeViewPage();
}

// A link named like a picture may answer with a page: its reply's header tells before it is taken.
void ViewerPane::askAbout(const QString& link)
{
    if (!m_viewHtmlBox->isChecked())
        m_cover->show();
    m_loadingText = QStringLiteral("Download: ") + link;
    setStatus(m_loadingText);
    ++m_question;
    m_asker->cancel();
    try {
        m_asker->start(link);
    } catch (const Error&) {
        m_run.answered(link, LinkAnswers::Kind::Unknown);
        processLink();
    }
}

void ViewerPane::onAnswer()
{
    const int reply = m_asker->replyNumber();
    if (m_asker->isBusy() && reply >= 300 && reply <= 399)
        return; // the body of a redirect: its Location is followed
    const LinkAnswers::Kind kind = reply >= 200 && reply <= 299 ? LinkAnswers::kindOfType(m_asker->contentType())
                                                                : LinkAnswers::Kind::Unknown;
    const QString link = m_run.linkToAsk();
    m_asker->cancel();
    // The run goes on from the event loop, outside the client's event.
    QTimer::singleShot(0, this, [this, link, kind, question = m_question] {
        guarded(m_dialogs, [&] {
            if (question != m_question || link.isEmpty() || m_run.linkToAsk() != link)
                return; // stopped or started anew meanwhile
            m_run.answered(link, kind);
            processLink();
        });
    });
}

void ViewerPane::onLinkPageLoaded()
{
    if (m_run.atEnd()) {
        setStatus(QStringLiteral("Ready: ") + m_view->locationUrl());
        return;
    }
    // A page whose document cannot be read counts as a page without pictures: the run goes on.
    std::shared_ptr<Document> doc;
    try {
        doc = m_view->document();
    } catch (const Error&) {
    }
    m_run.takePage(doc.get());
    processLink();
}

void ViewerPane::writeViewPage()
{
    m_loadingText = QStringLiteral("Download...");
    setStatus(m_loadingText);
    m_pageFile = m_run.writeViewPage(m_pageHead);
    m_cover->hide();
    m_view->navigate(m_pageFile);
}

void ViewerPane::onPageLoaded() { onLinkPageLoaded(); }

void ViewerPane::onLoadProgress(int progress, int progressMax)
{
    const QString status = percentStatus(m_loadingText, progress, progressMax);
    if (!status.isEmpty())
        setStatus(status);
}

} // namespace pxt
