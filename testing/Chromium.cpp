#include "testing/Chromium.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <signal.h>
#include <unistd.h>

namespace pxt::test {

GroupProcess::GroupProcess()
{
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

GroupProcess::~GroupProcess()
{
    if (m_pid > 0)
        ::kill(-pid_t(m_pid), SIGKILL);
    m_process.waitForFinished(5000);
}

bool GroupProcess::start(const QString& program, const QStringList& args)
{
    m_process.start(program, args);
    if (!m_process.waitForStarted(10000))
        return false;
    m_pid = m_process.processId();
    return true;
}

QStringList headlessChromiumArguments(const QString& userDataDir, const QString& url)
{
    QStringList args = QStringLiteral(PXT_CHROMIUM_FLAGS).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    args << QStringLiteral("--headless") << QStringLiteral("--no-sandbox") << QStringLiteral("--disable-gpu")
         << QStringLiteral("--remote-debugging-port=0") << QStringLiteral("--user-data-dir=") + userDataDir << url;
    return args;
}

bool startHeadlessChromium(GroupProcess& chromium, const QString& userDataDir, const QString& url, int timeoutMs)
{
    if (!chromium.start(QStringLiteral("chromium"), headlessChromiumArguments(userDataDir, url)))
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QFile f(userDataDir + QStringLiteral("/DevToolsActivePort"));
        if (f.open(QIODevice::ReadOnly) && f.readLine().trimmed().toInt() > 0)
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return false;
}

} // namespace pxt::test
