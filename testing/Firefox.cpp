#include "testing/Firefox.h"

#include "testing/LocalServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <unistd.h>

namespace pxt::test {

namespace {

// Quiet first runs: no first-run pages, no checks with Mozilla's servers. (The debugging port turns on
// the browser's own recommended preferences for automation as well.)
const char* const kUserPrefs =
    "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
    "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
    "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
    "user_pref(\"app.update.auto\", false);\n"
    "user_pref(\"browser.aboutwelcome.enabled\", false);\n";

bool writePrefs(const QString& profileDir)
{
    QDir().mkpath(profileDir);
    QFile f(profileDir + QStringLiteral("/user.js"));
    return f.open(QIODevice::WriteOnly) && f.write(kUserPrefs) > 0;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(50);
    }
    return false;
}

} // namespace

quint16 freeLoopbackPort()
{
    quint16 port = 0;
    ::close(loopbackSocket(port, -1));
    return port;
}

QStringList headlessFirefoxArguments(const QString& profileDir, quint16 port, const QString& url)
{
    QStringList args = {QStringLiteral("--headless"), QStringLiteral("--no-remote"), QStringLiteral("--profile"),
                        profileDir};
    if (port != 0)
        args << QStringLiteral("--remote-debugging-port") << QString::number(port);
    args << url;
    return args;
}

bool startHeadlessFirefox(GroupProcess& firefox, const QString& profileDir, const QString& url, quint16& port,
                          int timeoutMs)
{
    port = freeLoopbackPort();
    if (!writePrefs(profileDir)
        || !firefox.start(QStringLiteral("firefox-esr"), headlessFirefoxArguments(profileDir, port, url)))
        return false;
    const QString announced = profileDir + QStringLiteral("/WebDriverBiDiServer.json");
    return waitFor([&] {
        QFile f(announced);
        return f.open(QIODevice::ReadOnly)
            && QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("ws_port")).toInt() == port;
    }, timeoutMs);
}

bool startHeadlessFirefoxWithoutPort(GroupProcess& firefox, const QString& profileDir, const QString& url,
                                     int timeoutMs)
{
    if (!writePrefs(profileDir)
        || !firefox.start(QStringLiteral("firefox-esr"), headlessFirefoxArguments(profileDir, 0, url)))
        return false;
    // The session store is written once the browser runs its first window.
    return waitFor([&] {
        return QFileInfo::exists(profileDir + QStringLiteral("/sessionstore-backups"))
            || QFileInfo::exists(profileDir + QStringLiteral("/sessionCheckpoints.json"));
    }, timeoutMs);
}

} // namespace pxt::test
