#pragma once

#include "browser/BrowserEndpoints.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace pxt {

// A browser on this system that the program can start with a debugging port.
struct LaunchableBrowser {
    QString name;    // "Chromium", "Firefox ESR", ...
    QString program; // its executable's absolute path
    QString id;      // the name of its profile folder: "chromium", "firefox-esr", ...
    bool firefox = false;
};

// The Chromium-family browsers and the Firefoxes found on the search path (the PATH when empty), in
// a fixed order; a program reached under two names (firefox and firefox-esr on Debian) once.
QList<LaunchableBrowser> installedBrowsers(const QStringList& searchPaths = {});

// The words a browser's standard error ended with, for telling the user why it did not start.
QString lastLines(const QByteArray& text, int count = 5);

// Starts a browser with a profile folder of the program's own and a debugging port the system
// chooses, or finds the one already running with that profile; tells when its endpoint answers. The
// browser is started in a session of its own and keeps running when the program ends; one that
// fails to start or does not answer in time is ended with all its processes.
class BrowserLauncher : public QObject {
    Q_OBJECT
public:
    explicit BrowserLauncher(QString profilesRoot = launchedProfilesRoot(), QObject* parent = nullptr);
    ~BrowserLauncher() override;

    // startPage: the address the new browser opens; empty: an empty tab. Returns at once; ready or
    // failed follows. A launch under way is ended first.
    void start(const LaunchableBrowser& browser, const QString& startPage = {});
    QString profileFolder(const LaunchableBrowser& browser) const;

    static constexpr int kDefaultAnswerLimitMs = 15000;
    void setAnswerLimit(int ms) { m_answerLimitMs = ms; }

Q_SIGNALS:
    // The browser answers at this endpoint; alreadyRunning: it was running before, nothing was started.
    void ready(const QString& endpoint, bool alreadyRunning);
    void failed(const QString& reason);

private:
    void check();
    void fail(const QString& what);
    void endProcesses();

    QString m_root;
    LaunchableBrowser m_browser;
    QString m_profile;
    qint64 m_pid = 0;
    bool m_ownSession = false;
    int m_answerLimitMs = kDefaultAnswerLimitMs;
    int m_waitedMs = 0;
    QTimer m_timer;
};

} // namespace pxt
