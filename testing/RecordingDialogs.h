#pragma once

#include "core/Dialogs.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace pxt {

// The dialogs of tests and benchmarks: boxes are recorded instead of shown, the choosers answer what
// the test set (an empty file name is a cancel), addresses are recorded instead of opened.
class RecordingDialogs : public Dialogs {
public:
    QStringList errors;
    QStringList informations;
    QList<QUrl> openedUrls;
    // Runs while an information box is "shown", as the user's reading time of a real one.
    std::function<void()> whileInformationShown;

    QString openFile;       // the answer of openFileName
    int openFileCalls = 0;
    QString saveFile;       // the answer of saveFileName, with saveFilter
    int saveFilter = 0;
    QString suggestedSaveName; // what the last saveFileName offered
    int saveFileCalls = 0;
    QString folder;         // the answer of existingFolder (empty: cancel)
    QString offeredFolder;  // where the last existingFolder opened
    int folderCalls = 0;

    // The actions the last informationWithActions box offered, and the index the test answers (-1: Close).
    QStringList offeredActions;
    int chosenAction = -1;

    void error(const QString& text) override { errors << text; }
    int informationWithActions(const QString& text, const QStringList& actions) override
    {
        offeredActions = actions;
        information(text);
        return chosenAction;
    }
    void information(const QString& text) override
    {
        informations << text;
        if (whileInformationShown)
            whileInformationShown();
    }
    QString openFileName(QWidget*) override
    {
        ++openFileCalls;
        return openFile;
    }
    bool saveFileName(QWidget*, const QString&, const QString& suggestedName, const QStringList&,
                      const QStringList&, QString* path, int* filter) override
    {
        ++saveFileCalls;
        suggestedSaveName = suggestedName;
        if (saveFile.isEmpty())
            return false;
        *path = saveFile;
        *filter = saveFilter;
        return true;
    }
    QString existingFolder(QWidget*, const QString& start) override
    {
        ++folderCalls;
        offeredFolder = start;
        return folder;
    }
    void openUrl(const QUrl& url) override { openedUrls << url; }
};

} // namespace pxt
