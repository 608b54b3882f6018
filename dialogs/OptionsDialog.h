#pragma once

#include "settings/Settings.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;
class QSpinBox;

namespace pxt {

class Dialogs;

// Sets a whole-number field from a number that may have a fraction: rounded to the nearest whole
// number (a half to the even neighbour) and clamped into the field's range. Not a finite number: the
// field keeps its value.
void setWholeValue(QSpinBox& field, double value);

// The options dialog: edits the seven harvest settings and keeps them in the sections "TDlgOptions" and
// "TDlgOptions.MemoFilter_Lines" of the settings file.
//
// Showing it reads the file into the fields and takes the settings snapshot; "OK" takes the snapshot
// too, "Cancel" does not. Every close writes the fields to the file. The check box and the filter lines
// are the live link filter: the settings read them each time the filter runs.
//
// A spin field whose text is no acceptable number when the snapshot is taken (emptied, a lone sign or
// decimal separator, a number below the range) counts as the field's lower limit; this is also what
// the field shows after it loses the focus. Text outside the field's characters cannot be typed.
class OptionsDialog : public QDialog, public LiveLinkFilter {
    Q_OBJECT
public:
    OptionsDialog(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // What showing the dialog does to fields and snapshot, without showing it: the main window calls
    // this at start, before it accepts commands.
    void loadAtStart();

    QString iniFileName() const { return m_iniFileName; }

    // The live link filter.
    bool linkFilterEnabled() const override;
    QStringList linkFilterLines() const override;

    // The fields as the snapshot takes them.
    SnapshotValues fieldValues();

    void done(int result) override;

    QLineEdit* fileTypesEdit() const { return m_fileTypesEdit; }
    QCheckBox* linkFilterBox() const { return m_linkFilterBox; }
    QCheckBox* loginBox() const { return m_loginBox; }
    QPlainTextEdit* filterEdit() const { return m_filterEdit; }
    QDoubleSpinBox* bannerRatioBox() const { return m_bannerRatioBox; }
    QSpinBox* columnCountBox() const { return m_columnCountBox; }
    QSpinBox* minWidthBox() const { return m_minWidthBox; }
    QSpinBox* minHeightBox() const { return m_minHeightBox; }
    QSpinBox* parallelBox() const { return m_parallelBox; }
    QSpinBox* thumbnailSizeBox() const { return m_thumbnailSizeBox; }
    QCheckBox* unlinkedBox() const { return m_unlinkedBox; }
    QPushButton* defaultButton() const { return m_defaultButton; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_fileTypesEdit;
    QCheckBox* m_linkFilterBox;
    QCheckBox* m_loginBox;
    QCheckBox* m_unlinkedBox; // "Use the browser's login"
    QPlainTextEdit* m_filterEdit;
    QDoubleSpinBox* m_bannerRatioBox;
    QSpinBox* m_columnCountBox;
    QSpinBox* m_minWidthBox;
    QSpinBox* m_minHeightBox;
    QSpinBox* m_parallelBox;
    QSpinBox* m_thumbnailSizeBox;
    QPushButton* m_defaultButton;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;

    void createFields();
    void onFirstShow();
    void onOk();
    void onDefault();

    void readSection();
    void writeSection();
    void setFilterLines(const QStringList& lines);

    Settings& m_settings;
    Dialogs& m_dialogs;
    QString m_iniFileName;
    bool m_sectionRead = false; // the section was read at least once since creation
    bool m_sectionSaved = false; // written since the last showing
};

} // namespace pxt
