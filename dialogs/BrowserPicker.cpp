#include "dialogs/BrowserPicker.h"

#include "browser/BrowserWindows.h"
#include "core/Dialogs.h"
#include "dialogs/ListedWindows.h"
#include "dialogs/TextOrder.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace pxt {

BrowserPicker::BrowserPicker(BrowserWindowList& windows, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_windows(windows), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Pic a Browser"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(692, 373);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("windowList"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("URL"), QString()});
    m_list->setColumnWidth(TitleColumn, 300);
    m_list->setColumnWidth(UrlColumn, 355);
    m_list->setColumnHidden(IndexColumn, true);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(false); // the list keeps its own order, see sortRows
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setSectionsMovable(false);
    m_list->header()->setStretchLastSection(false);
    // The selection stays as visible while the list has no focus.
    QPalette palette = m_list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setBrush(QPalette::Inactive, role, palette.brush(QPalette::Active, role));
    m_list->setPalette(palette);
    m_list->viewport()->installEventFilter(this);

    m_addToExistingBox = new QCheckBox(QStringLiteral("Add to existing Thumbnails"), this);
    m_addToExistingBox->setObjectName(QStringLiteral("addToExistingBox"));
    m_addToExistingBox->setChecked(true);
    m_reloadListButton = new QPushButton(QStringLiteral("Reload List"), this);
    m_reloadListButton->setObjectName(QStringLiteral("reloadListButton"));
    m_reloadListButton->setAutoDefault(false);
    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    m_okButton->setEnabled(false);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addToExistingBox);
    buttons->addStretch(1);
    buttons->addWidget(m_reloadListButton);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    m_startRow = new QHBoxLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(m_startRow);
    layout->addLayout(buttons);

    connect(m_list->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded(m_dialogs, [&] { onHeaderClicked(column); }); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this] { guarded(m_dialogs, [&] { onSelectionChanged(); }); });
    connect(m_reloadListButton, &QPushButton::clicked, this, [this] { guarded(m_dialogs, [&] { onReloadList(); }); });
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void BrowserPicker::setBrowserStarting(BrowserLauncher* launcher, const QList<LaunchableBrowser>& browsers)
{
    m_launcher = launcher;
    m_browsers = launcher ? browsers : QList<LaunchableBrowser>();
    qDeleteAll(m_startButtons);
    m_startButtons.clear();
    const QStringList captions = startCaptions();
    for (int i = 0; i < captions.size(); ++i) {
        auto* button = new QPushButton(captions[i], this);
        button->setObjectName(QStringLiteral("startButton%1").arg(i));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { guarded(m_dialogs, [&] { startBrowser(i); }); });
        m_startRow->addWidget(button);
        m_startButtons << button;
    }
    setFixedSize(692, m_startButtons.isEmpty() ? 373 : 405);
}

QStringList BrowserPicker::startCaptions() const
{
    QStringList captions;
    for (const LaunchableBrowser& b : m_browsers)
        captions << QStringLiteral("Start %1 for Pixtrawl").arg(b.name);
    return captions;
}

bool BrowserPicker::startBrowser(int index)
{
    if (!m_launcher || index < 0 || index >= m_browsers.size())
        return false;
    setStartButtonsEnabled(false);
    QEventLoop loop;
    bool started = false;
    bool ended = false;
    QString failure;
    const QMetaObject::Connection onReady = connect(m_launcher, &BrowserLauncher::ready, &loop, [&] {
        started = ended = true;
        loop.quit();
    });
    const QMetaObject::Connection onFailed = connect(m_launcher, &BrowserLauncher::failed, &loop, [&](const QString& reason) {
        failure = reason;
        ended = true;
        loop.quit();
    });
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    m_launcher->start(m_browsers[index], m_startPage);
    if (!ended) // a start that cannot even begin fails at once
        loop.exec();
    disconnect(onReady);
    disconnect(onFailed);
    // A browser answers before its first window is known: the list is read again until it shows one.
    QElapsedTimer waited;
    waited.start();
    while (started) {
        clearList();
        fillList();
        if (rowCount() > 0 || waited.elapsed() > kWindowWaitMs)
            break;
        QEventLoop pause;
        QTimer::singleShot(300, &pause, &QEventLoop::quit);
        pause.exec();
    }
    QGuiApplication::restoreOverrideCursor();
    setStartButtonsEnabled(true);
    if (!started)
        m_dialogs.error(failure);
    return started && rowCount() > 0;
}

void BrowserPicker::setStartButtonsEnabled(bool enabled)
{
    for (QPushButton* b : std::as_const(m_startButtons))
        b->setEnabled(enabled);
}

void BrowserPicker::clearList() { m_list->clear(); }

void BrowserPicker::fillList()
{
    // One bulk update and one sort when all rows are in, also when reading a window fails: sorting
    // after every row would cost the square of a long list.
    struct BulkUpdate {
        BrowserPicker* dlg;
        explicit BulkUpdate(BrowserPicker* d) : dlg(d) { dlg->m_list->setUpdatesEnabled(false); }
        ~BulkUpdate()
        {
            dlg->sortRows();
            dlg->m_list->setUpdatesEnabled(true);
        }
    } bulk(this);

    m_windows.refresh();
    const int n = m_windows.count();
    for (int i = 0; i < n; ++i) {
        const std::shared_ptr<BrowserWindow> window = m_windows.item(i);
        const QString address = window->locationUrl();
        if (!isListedAddress(address))
            continue;
        const QString title = window->locationName();
        auto* row = new QTreeWidgetItem;
        row->setText(TitleColumn, title);
        row->setText(UrlColumn, address);
        row->setText(IndexColumn, QString::number(i));
        m_list->addTopLevelItem(row);
        m_list->setCurrentItem(row, TitleColumn,
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

int BrowserPicker::rowCount() const { return m_list->topLevelItemCount(); }

void BrowserPicker::setAddLocked(bool locked)
{
    m_addToExistingBox->setEnabled(!locked);
    if (locked)
        m_addToExistingBox->setChecked(false);
}

bool BrowserPicker::addToExisting() const { return m_addToExistingBox->isChecked(); }

int BrowserPicker::selectedWindowIndex() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return -1;
    bool ok = false;
    const int index = selected.first()->text(IndexColumn).toInt(&ok, 10);
    return ok ? index : -1;
}

void BrowserPicker::showEvent(QShowEvent* event)
{
    if (const QScreen* s = screen()) {
        QRect r(QPoint(), size());
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
    QDialog::showEvent(event);
}

bool BrowserPicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick)
        guarded(m_dialogs, [&] { onRowActivated(); });
    return QDialog::eventFilter(watched, event);
}

void BrowserPicker::onHeaderClicked(int column)
{
    if (column != TitleColumn && column != UrlColumn)
        return;
    m_sortColumn = column;
    sortRows();
}

void BrowserPicker::onRowActivated()
{
    if (m_okButton->isEnabled())
        accept();
}

void BrowserPicker::onSelectionChanged()
{
    m_okButton->setEnabled(!m_list->selectedItems().isEmpty());
}

void BrowserPicker::onReloadList()
{
    clearList();
    fillList();
}

void BrowserPicker::sortRows()
{
    QTreeWidgetItem* selected = nullptr;
    if (const QList<QTreeWidgetItem*> s = m_list->selectedItems(); !s.isEmpty())
        selected = s.first();
    QTreeWidgetItem* current = m_list->currentItem();

    QList<QTreeWidgetItem*> rows = m_list->invisibleRootItem()->takeChildren();
    const int column = m_sortColumn;
    std::stable_sort(rows.begin(), rows.end(), [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        return compareListText(a->text(column), b->text(column)) < 0;
    });
    m_list->addTopLevelItems(rows);

    if (selected)
        m_list->setCurrentItem(selected, TitleColumn,
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else if (current)
        m_list->setCurrentItem(current, TitleColumn, QItemSelectionModel::NoUpdate);
}

} // namespace pxt
