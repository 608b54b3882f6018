#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QShowEvent;

namespace pxt {

class Dialogs;

class BrowserWindowList;

// The picker of the grab: lists the running browser windows with title and address, and gives back the
// chosen window's index in the window list together with the choice "Add to existing Thumbnails".
// It lives for the whole run, so rows, sort column and check box carry over from one grab to the next.
// It never touches a document.
class BrowserPicker : public QDialog {
    Q_OBJECT
public:
    // The window list is not owned; it must outlive the dialog. The grab reads the chosen window from
    // the same list, so its index names the window that was listed.
    BrowserPicker(BrowserWindowList& windows, Dialogs& dialogs, QWidget* parent = nullptr);

    void ClearBrowserList();
    // Reads the window list anew and adds one row per listed window; the last added row is selected.
    // Windows whose address is empty or of the scheme "file" are left out (isListedAddress). A failure to read a
    // window ends the filling with an Error; the rows added before it stay.
    void FillBrowserList();
    int BrowserCount() const;
    // Locked: "Add to existing Thumbnails" disabled and unchecked; otherwise enabled, state kept.
    void SetAddLocked(bool locked);
    bool AddToExisting() const;
    // The window list index of the selected row; -1 with no row selected.
    int SelectedWindowIndex() const;
    // 0 for "Title", 1 for "URL".
    int SortColumn() const { return FSortColumn; }

    // Columns of ListViewBrowser; the index column is hidden.
    enum Column { TitleColumn = 0, UrlColumn = 1, IndexColumn = 2 };

    QTreeWidget* ListViewBrowser;
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListViewBrowserColumnClick(int column);
    void ListViewBrowserDblClick();
    void ListViewBrowserSelectionChange();
    void Button1Click();
    // Sorts the rows ascending by the sort column, keeping the selection.
    void SortRows();

    BrowserWindowList& ShellWindows1;
    int FSortColumn = 0;
    Dialogs& m_dialogs;
};

} // namespace pxt
