#include "dialogs/BrowserPicker.h"

#include "browser/BrowserWindows.h"
#include "core/Dialogs.h"
#include "dialogs/ListedWindows.h"
#include "dialogs/TextOrder.h"

#include <QCheckBox>
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
    : QDialog(parent), ShellWindows1(windows), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Pic a Browser"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(692, 373);

    ListViewBrowser = new QTreeWidget(this);
    ListViewBrowser->setObjectName(QStringLiteral("ListViewBrowser"));
    ListViewBrowser->setColumnCount(3);
    ListViewBrowser->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("URL"), QString()});
    ListViewBrowser->setColumnWidth(TitleColumn, 300);
    ListViewBrowser->setColumnWidth(UrlColumn, 355);
    ListViewBrowser->setColumnHidden(IndexColumn, true);
    ListViewBrowser->setRootIsDecorated(false);
    ListViewBrowser->setItemsExpandable(false);
    ListViewBrowser->setUniformRowHeights(true);
    ListViewBrowser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewBrowser->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewBrowser->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewBrowser->setSortingEnabled(false); // the list keeps its own order, see SortRows
    ListViewBrowser->header()->setSectionsClickable(true);
    ListViewBrowser->header()->setSectionsMovable(false);
    ListViewBrowser->header()->setStretchLastSection(false);
    // The selection stays as visible while the list has no focus.
    QPalette palette = ListViewBrowser->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setBrush(QPalette::Inactive, role, palette.brush(QPalette::Active, role));
    ListViewBrowser->setPalette(palette);
    ListViewBrowser->viewport()->installEventFilter(this);

    CheckBox1 = new QCheckBox(QStringLiteral("Add to existing Thumbnails"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    Button1 = new QPushButton(QStringLiteral("Reload List"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    OKBtn->setEnabled(false);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListViewBrowser, 1);
    layout->addLayout(buttons);

    connect(ListViewBrowser->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded(m_dialogs, [&] { ListViewBrowserColumnClick(column); }); });
    connect(ListViewBrowser, &QTreeWidget::itemSelectionChanged, this,
            [this] { guarded(m_dialogs, [&] { ListViewBrowserSelectionChange(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { guarded(m_dialogs, [&] { Button1Click(); }); });
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void BrowserPicker::ClearBrowserList() { ListViewBrowser->clear(); }

void BrowserPicker::FillBrowserList()
{
    // One bulk update and one sort when all rows are in, also when reading a window fails: sorting
    // after every row would cost the square of a long list.
    struct BulkUpdate {
        BrowserPicker* dlg;
        explicit BulkUpdate(BrowserPicker* d) : dlg(d) { dlg->ListViewBrowser->setUpdatesEnabled(false); }
        ~BulkUpdate()
        {
            dlg->SortRows();
            dlg->ListViewBrowser->setUpdatesEnabled(true);
        }
    } bulk(this);

    ShellWindows1.Refresh();
    const int n = ShellWindows1.Count();
    for (int i = 0; i < n; ++i) {
        const std::shared_ptr<BrowserWindow> window = ShellWindows1.Item(i);
        const QString address = window->LocationURL();
        if (!isListedAddress(address))
            continue;
        const QString title = window->LocationName();
        auto* row = new QTreeWidgetItem;
        row->setText(TitleColumn, title);
        row->setText(UrlColumn, address);
        row->setText(IndexColumn, QString::number(i));
        ListViewBrowser->addTopLevelItem(row);
        ListViewBrowser->setCurrentItem(row, TitleColumn,
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

int BrowserPicker::BrowserCount() const { return ListViewBrowser->topLevelItemCount(); }

void BrowserPicker::SetAddLocked(bool locked)
{
    CheckBox1->setEnabled(!locked);
    if (locked)
        CheckBox1->setChecked(false);
}

bool BrowserPicker::AddToExisting() const { return CheckBox1->isChecked(); }

int BrowserPicker::SelectedWindowIndex() const
{
    const QList<QTreeWidgetItem*> selected = ListViewBrowser->selectedItems();
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
    if (watched == ListViewBrowser->viewport() && event->type() == QEvent::MouseButtonDblClick)
        guarded(m_dialogs, [&] { ListViewBrowserDblClick(); });
    return QDialog::eventFilter(watched, event);
}

void BrowserPicker::ListViewBrowserColumnClick(int column)
{
    if (column != TitleColumn && column != UrlColumn)
        return;
    FSortColumn = column;
    SortRows();
}

void BrowserPicker::ListViewBrowserDblClick()
{
    if (OKBtn->isEnabled())
        accept();
}

void BrowserPicker::ListViewBrowserSelectionChange()
{
    OKBtn->setEnabled(!ListViewBrowser->selectedItems().isEmpty());
}

void BrowserPicker::Button1Click()
{
    ClearBrowserList();
    FillBrowserList();
}

void BrowserPicker::SortRows()
{
    QTreeWidgetItem* selected = nullptr;
    if (const QList<QTreeWidgetItem*> s = ListViewBrowser->selectedItems(); !s.isEmpty())
        selected = s.first();
    QTreeWidgetItem* current = ListViewBrowser->currentItem();

    QList<QTreeWidgetItem*> rows = ListViewBrowser->invisibleRootItem()->takeChildren();
    const int column = FSortColumn;
    std::stable_sort(rows.begin(), rows.end(), [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        return compareListText(a->text(column), b->text(column)) < 0;
    });
    ListViewBrowser->addTopLevelItems(rows);

    if (selected)
        ListViewBrowser->setCurrentItem(selected, TitleColumn,
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else if (current)
        ListViewBrowser->setCurrentItem(current, TitleColumn, QItemSelectionModel::NoUpdate);
}

} // namespace pxt
