#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QUrl;
class QWidget;

namespace pxt {

// The dialogs and desktop services the program asks the user through. The program entry makes the
// standard ones and hands them to the main window, which hands them on; tests hand recorders.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The application title: the caption of the message boxes. The main window sets it.
    const QString& applicationTitle() const { return m_title; }
    void setApplicationTitle(const QString& title) { m_title = title; }

    // The general error report: a box with the failure's text.
    virtual void error(const QString& text) = 0;
    // A message of the system's own: information icon, one OK button ("Nothing selected!").
    virtual void information(const QString& text) = 0;
    // An information box that also offers actions: the index of the action chosen, -1 for Close.
    virtual int informationWithActions(const QString& text, const QStringList& actions) = 0;
    // The file chooser of "&Open Thumbnails...": the chosen file, empty on cancel.
    virtual QString openFileName(QWidget* parent) = 0;
    // A Save As chooser offering the filters in order, each with its default suffix; the chosen path
    // and filter's index, or false on cancel.
    virtual bool saveFileName(QWidget* parent, const QString& folder, const QString& suggestedName,
                              const QStringList& filters, const QStringList& suffixes, QString* path,
                              int* filter) = 0;
    // The folder chooser of "Save Pictures to Folder...", opened at start: the chosen folder, empty on
    // cancel.
    virtual QString existingFolder(QWidget* parent, const QString& start) = 0;
    // An address handed to the desktop: its web browser or mail program.
    virtual void openUrl(const QUrl& url) = 0;

private:
    QString m_title;
};

// Runs fn; a failure of any kind ends it and is reported as an error. Returns false when it failed.
// Handlers that Qt calls (slots, events) run their work through it, so no exception ever reaches the
// event loop.
bool guarded(Dialogs& dialogs, const std::function<void()>& fn);

} // namespace pxt
