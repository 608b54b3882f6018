#pragma once

// Child processes of tests and benchmarks: a headless Chromium with a DevTools port, and the local
// server over a folder that it loads pages from.

#include "testing/LocalServer.h"

#include <QProcess>
#include <QStringList>

#include <memory>

namespace pxt::test {

// A child process in a process group of its own; the whole group is killed when it goes, whatever the
// caller did (Chromium leaves helper processes behind its main process).
class GroupProcess {
public:
    GroupProcess();
    ~GroupProcess();
    bool start(const QString& program, const QStringList& args);
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    qint64 m_pid = 0;
};

// The switches of every Chromium started here (scripts/chromium-flags), then those of a headless one
// without sandbox and GPU, a DevTools port the browser picks and its own profile folder.
QStringList headlessChromiumArguments(const QString& userDataDir, const QString& url);

// Starts headless Chromium on url; false when it did not announce its DevTools port in time (its
// DevToolsActivePort file in the profile folder).
bool startHeadlessChromium(GroupProcess& chromium, const QString& userDataDir, const QString& url,
                           int timeoutMs = 60000);

// The local server over a folder, its addresses relative to the folder.
class StaticServer {
public:
    explicit StaticServer(const QString& folder) : m_server(LocalServer::forFolder(folder)) {}
    int port() const { return m_server->port(); }
    QString url(const QString& file) const { return m_server->url(QLatin1Char('/') + file); }

private:
    std::unique_ptr<LocalServer> m_server;
};

} // namespace pxt::test
