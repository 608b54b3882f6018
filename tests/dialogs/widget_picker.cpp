#include "testing/PlainWindows.h"
#include "testing/RecordingDialogs.h"
#include "core/Error.h"
#include "dialogs/BrowserPicker.h"
#include "dialogs/TextOrder.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace pxt;

namespace {

// A window that fails when asked for its address, as a window closing while the list is read.
class BrokenWindow : public BrowserWindow {
public:
    QString locationName() const override { return QStringLiteral("broken"); }
    QString locationUrl() const override { throw Error(QStringLiteral("The window is gone")); }
    std::shared_ptr<Document> document() override { throw Error(QStringLiteral("gone")); }
};

struct Picker : ::testing::Test {
    PlainBrowserWindowList windows;
    RecordingDialogs messages;
    BrowserPicker dlg{windows, messages};

    void setWindows(std::initializer_list<std::pair<const char*, const char*>> list)
    {
        windows.windows.clear();
        for (const auto& [title, url] : list)
            windows.windows.push_back(
                std::make_shared<PlainBrowserWindow>(QString::fromUtf8(title), QString::fromUtf8(url)));
    }
    void fill()
    {
        dlg.clearList();
        dlg.fillList();
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int i = 0; i < dlg.list()->topLevelItemCount(); ++i)
            out << dlg.list()->topLevelItem(i)->text(c);
        return out;
    }
    QStringList titles() const { return column(BrowserPicker::TitleColumn); }
    QStringList urls() const { return column(BrowserPicker::UrlColumn); }
    void clickHeader(int c) { emit dlg.list()->header()->sectionClicked(c); }
    QTreeWidgetItem* selectedRow() const
    {
        const auto s = dlg.list()->selectedItems();
        return s.size() == 1 ? s.first() : nullptr;
    }
    // As the window system delivers it: a click, then the double-click.
    void doubleClick(QPoint pos)
    {
        QTest::mouseClick(dlg.list()->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseDClick(dlg.list()->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }
};

} // namespace

TEST_F(Picker, DesignedLook)
{
    EXPECT_EQ(dlg.windowTitle(), "Pic a Browser");
    EXPECT_EQ(dlg.size(), QSize(692, 373));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    QTreeWidget* list = dlg.list();
    EXPECT_EQ(list->headerItem()->text(0), "Title");
    EXPECT_EQ(list->headerItem()->text(1), "URL");
    EXPECT_EQ(list->columnWidth(0), 300);
    EXPECT_EQ(list->columnWidth(1), 355);
    EXPECT_TRUE(list->isColumnHidden(BrowserPicker::IndexColumn));
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(dlg.addToExistingBox()->text(), "Add to existing Thumbnails");
    EXPECT_TRUE(dlg.addToExistingBox()->isChecked());
    EXPECT_EQ(dlg.reloadListButton()->text(), "Reload List");
    EXPECT_EQ(dlg.okButton()->text(), "OK");
    EXPECT_TRUE(dlg.okButton()->isDefault());
    EXPECT_EQ(dlg.cancelButton()->text(), "Cancel");
    EXPECT_EQ(dlg.sortColumn(), 0);
}

TEST_F(Picker, FillSkipsFileAndEmptyAddressesAndKeepsTheWindowIndex)
{
    setWindows({{"Home", "file:///home/user"},
                {"Gallery", "http://example.com/gallery.html"},
                {"Profile", "http://example.com/Profile.html"},
                {"Blank", ""},
                {"Shares", "FILE://server/share"},
                {"Another", "https://example.org/"}});
    fill();
    // Only the file scheme is left out: a page whose address merely holds "file" is listed.
    ASSERT_EQ(dlg.rowCount(), 3);
    EXPECT_EQ(titles(), QStringList({"Another", "Gallery", "Profile"}));
    EXPECT_EQ(column(BrowserPicker::IndexColumn), QStringList({"5", "1", "2"}));
    // The last window added is selected, and its index is the one in the window list.
    ASSERT_NE(selectedRow(), nullptr);
    EXPECT_EQ(selectedRow()->text(0), "Another");
    EXPECT_EQ(dlg.selectedWindowIndex(), 5);
    EXPECT_TRUE(dlg.okButton()->isEnabled());

    setWindows({{"Home", "file:///"}, {"Blank", ""}});
    fill();
    EXPECT_EQ(dlg.rowCount(), 0);
    EXPECT_EQ(dlg.selectedWindowIndex(), -1);
    EXPECT_FALSE(dlg.okButton()->isEnabled());
}

TEST_F(Picker, TitleOrderAndUrlHeaderClickedTwice)
{
    setWindows({{"b", "http://a.example/"}, {"A", "http://c.example/"}, {"c", "http://B.example/"}});
    fill();
    EXPECT_EQ(titles(), QStringList({"A", "b", "c"}));
    EXPECT_EQ(selectedRow()->text(0), "c");

    for (int click = 0; click < 2; ++click) {
        clickHeader(BrowserPicker::UrlColumn);
        EXPECT_EQ(dlg.sortColumn(), 1);
        EXPECT_EQ(urls(), QStringList({"http://a.example/", "http://B.example/", "http://c.example/"}));
        EXPECT_EQ(selectedRow()->text(0), "c") << "sorting keeps the selection";
    }
    clickHeader(BrowserPicker::TitleColumn);
    EXPECT_EQ(titles(), QStringList({"A", "b", "c"}));
}

TEST_F(Picker, FillSortsOnceWithEveryRowComplete)
{
    clickHeader(BrowserPicker::UrlColumn);
    setWindows({{"one", "http://b.example/"}, {"two", "http://c.example/"}, {"three", "http://a.example/"}});
    fill();
    EXPECT_EQ(titles(), QStringList({"three", "one", "two"}));
    EXPECT_EQ(dlg.selectedWindowIndex(), 2);

    // Rows sorted in one by one, before their addresses were set, would end as three, two, one.
    setWindows({{"one", "http://c.example/"}, {"two", "http://a.example/"}, {"three", "http://b.example/"}});
    fill();
    EXPECT_EQ(titles(), QStringList({"two", "three", "one"}));
    EXPECT_EQ(dlg.selectedWindowIndex(), 2) << "the last window listed stays selected";
    setWindows({{"one", "http://b.example/"}, {"two", "http://c.example/"}, {"three", "http://a.example/"}});
    fill();

    // "Reload List" keeps the sort column.
    dlg.reloadListButton()->click();
    EXPECT_EQ(dlg.sortColumn(), 1);
    EXPECT_EQ(titles(), QStringList({"three", "one", "two"}));
}

TEST_F(Picker, OkAndDoubleClickNeedASelectedRow)
{
    setWindows({{"A", "http://a.example/"}, {"B", "http://b.example/"}});
    fill();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTreeWidget* list = dlg.list();
    const QPoint below(10, list->viewport()->height() - 5);
    ASSERT_EQ(list->itemAt(below), nullptr);

    list->clearSelection();
    EXPECT_FALSE(dlg.okButton()->isEnabled());
    doubleClick(below);
    EXPECT_TRUE(dlg.isVisible()) << "a double-click without a selected row does nothing";
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible()) << "the disabled default button does not close the dialog";

    // A double-click on a row selects it first and closes the dialog with that row.
    list->clearSelection();
    doubleClick(list->visualItemRect(list->topLevelItem(1)).center());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.selectedWindowIndex(), 1);
}

TEST_F(Picker, AddLock)
{
    dlg.setAddLocked(true);
    EXPECT_FALSE(dlg.addToExistingBox()->isEnabled());
    EXPECT_FALSE(dlg.addToExisting());
    dlg.setAddLocked(false);
    EXPECT_TRUE(dlg.addToExistingBox()->isEnabled());
    EXPECT_FALSE(dlg.addToExisting()) << "unlocking does not check the box again";
    dlg.addToExistingBox()->setChecked(true);
    dlg.setAddLocked(false);
    EXPECT_TRUE(dlg.addToExisting()) << "the user's choice stays";
}

TEST_F(Picker, AWindowThatFailsEndsTheFillingAndKeepsTheRowsBefore)
{
    setWindows({{"A", "http://a.example/"}});
    windows.windows.push_back(std::make_shared<BrokenWindow>());
    windows.windows.push_back(std::make_shared<PlainBrowserWindow>("C", "http://c.example/"));
    dlg.clearList();
    EXPECT_THROW(dlg.fillList(), Error);
    EXPECT_EQ(titles(), QStringList({"A"}));
    EXPECT_TRUE(dlg.list()->updatesEnabled());
}

TEST(ListTextOrder, AsciiLettersIgnoreCaseEverythingElseByCode)
{
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int sign;
    };
    const Case cases[] = {
        {u"A", u"b", -1},
        {u"b", u"A", 1},
        {u"abc", u"ABC", 0},
        {u"ab", u"abc", -1},
        {u"", u"a", -1},
        {u"a", u"_", -1},           // letters count as upper case: 'A' (65) before '_' (95)
        {u"Z", u"[", -1},
        {u"E", u"\u00e9", -1},      // other characters by their code
        {u"\u00c9", u"\u00e9", -1}, // no case folding beyond A to Z
        {u"\uffff", u"\U0001F600", -1}, // code point order, also past U+FFFF
        {u"\U0001F600", u"\uE000", 1},
    };
    for (const Case& c : cases) {
        const int r = compareListText(QStringView(c.a), QStringView(c.b));
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << QString::fromUtf16(c.a).toStdString() << " vs "
                                             << QString::fromUtf16(c.b).toStdString();
    }
}
