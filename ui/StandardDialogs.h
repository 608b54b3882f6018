#pragma once

#include "core/Dialogs.h"

namespace pxt {

// The desktop's own dialogs: message boxes over the active window, Qt's file dialogs and
// QDesktopServices.
class StandardDialogs : public Dialogs {
public:
    void error(const QString& text) override;
    void information(const QString& text) override;
    int informationWithActions(const QString& text, const QStringList& actions) override;
    QString openFileName(QWidget* parent) override;
    bool saveFileName(QWidget* parent, const QString& folder, const QString& suggestedName,
                      const QStringList& filters, const QStringList& suffixes, QString* path,
                      int* filter) override;
    QString existingFolder(QWidget* parent, const QString& start) override;
    void openUrl(const QUrl& url) override;
};

} // namespace pxt
