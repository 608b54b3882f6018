#include "ui/StandardDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace pxt {

namespace {
QWidget* boxParent() { return QApplication::activeWindow(); }

QString caption(const Dialogs& d)
{
    return d.applicationTitle().isEmpty() ? QApplication::applicationName() : d.applicationTitle();
}

// The texts of the boxes hold what pages said (titles, addresses): shown as they are, never as markup.
// With actions, the box closes with Close instead of OK; returns the index of the action chosen, -1
// for none.
int showBox(QMessageBox::Icon icon, const QString& caption, const QString& text, const QStringList& actions = {})
{
    QMessageBox box(icon, caption, text, actions.isEmpty() ? QMessageBox::Ok : QMessageBox::Close, boxParent());
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton*> buttons;
    for (const QString& action : actions)
        buttons << box.addButton(action, QMessageBox::AcceptRole);
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}
} // namespace

void StandardDialogs::error(const QString& text) { showBox(QMessageBox::Critical, caption(*this), text); }

void StandardDialogs::information(const QString& text) { showBox(QMessageBox::Information, caption(*this), text); }

int StandardDialogs::informationWithActions(const QString& text, const QStringList& actions)
{
    return showBox(QMessageBox::Information, caption(*this), text, actions);
}

QString StandardDialogs::openFileName(QWidget* parent)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), QStringLiteral("HTML-Files (*.html *.htm)"));
}

bool StandardDialogs::saveFileName(QWidget* parent, const QString& folder, const QString& suggestedName,
                                   const QStringList& filters, const QStringList& suffixes, QString* path,
                                   int* filter)
{
    const auto suffixOf = [&](qsizetype i) { return i >= 0 && i < suffixes.size() ? suffixes[i] : QString(); };
    QFileDialog dialog(parent, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty())
        dialog.selectNameFilter(filters[0]);
    dialog.setDirectory(folder);
    dialog.selectFile(suggestedName);
    dialog.setDefaultSuffix(suffixOf(0));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&](const QString& f) { dialog.setDefaultSuffix(suffixOf(filters.indexOf(f))); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const qsizetype i = filters.indexOf(dialog.selectedNameFilter());
    *filter = i < 0 ? 0 : int(i);
    *path = dialog.selectedFiles().constFirst();
    return true;
}

QString StandardDialogs::existingFolder(QWidget* parent, const QString& start)
{
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Save Pictures to Folder"), start);
}

void StandardDialogs::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

} // namespace pxt
