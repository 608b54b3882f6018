#pragma once

#include "browser/BrowserLauncher.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QHBoxLayout;
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

    void clearList();
    // Reads the window list anew and adds one row per listed window; the last added row is selected.
    // Windows whose address is empty or of the scheme "file" are left out (isListedAddress). A failure to read a
    // window ends the filling with an Error; the rows added before it stay.
    void fillList();
    int rowCount() const;
    // Locked: "Add to existing Thumbnails" disabled and unchecked; otherwise enabled, state kept.
    void setAddLocked(bool locked);
    bool addToExisting() const;
    // The window list index of the selected row; -1 with no row selected.
    int selectedWindowIndex() const;
    // 0 for "Title", 1 for "URL".
    int sortColumn() const { return m_sortColumn; }

    // The browsers the picker offers to start ("Start Chromium for Pixtrawl"), and what starts them;
    // none until set. The launcher must outlive the picker.
    void setBrowserStarting(BrowserLauncher* launcher, const QList<LaunchableBrowser>& browsers);
    QStringList startCaptions() const;
    // The address a started browser opens: the page grabbed last; empty: an empty tab.
    void setStartPage(const QString& address) { m_startPage = address; }
    // Starts the browser of that caption and waits, the windows alive, until the list shows its
    // window (true) or it failed to start (a box with the reason; false).
    bool startBrowser(int index);
    static constexpr int kWindowWaitMs = 5000;

    // Columns of m_list; the index column is hidden.
    enum Column { TitleColumn = 0, UrlColumn = 1, IndexColumn = 2 };

    QTreeWidget* list() const { return m_list; }
    QCheckBox* addToExistingBox() const { return m_addToExistingBox; }
    QPushButton* reloadListButton() const { return m_reloadListButton; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidget* m_list;
    QCheckBox* m_addToExistingBox;
    QPushButton* m_reloadListButton;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;

    void onHeaderClicked(int column);
    void onRowActivated();
    void onSelectionChanged();
    void onReloadList();
    // Sorts the rows ascending by the sort column, keeping the selection.
    void sortRows();

    void setStartButtonsEnabled(bool enabled);

    BrowserWindowList& m_windows;
    BrowserLauncher* m_launcher = nullptr;
    QList<LaunchableBrowser> m_browsers;
    QList<QPushButton*> m_startButtons;
    QHBoxLayout* m_startRow = nullptr;
    QString m_startPage;
    int m_sortColumn = 0;
    Dialogs& m_dialogs;
};

} // namespace pxt
