#pragma once

// Processes the browser tests start: a process group of its own killed on destruction, python3's
// static file server on 127.0.0.1, and small files for the sites they serve.

#include "tests/support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

namespace pxt::test {

// A child process in a process group of its own; the whole group is killed when it goes, whatever
// the test did (Chromium leaves helper processes behind its main process).
class GroupProcess {
public:
    GroupProcess() { m_process.setChildProcessModifier([] { ::setpgid(0, 0); }); }
    ~GroupProcess()
    {
        if (m_pid > 0)
            ::kill(-m_pid, SIGKILL);
        m_process.waitForFinished(5000);
    }
    bool start(const QString& program, const QStringList& args)
    {
        m_process.start(program, args);
        if (!m_process.waitForStarted(10000))
            return false;
        m_pid = pid_t(m_process.processId());
        return true;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    pid_t m_pid = 0;
};

// python3's static file server on 127.0.0.1 over a folder; port() is 0 when it did not come up.
class StaticServer {
public:
    explicit StaticServer(const QString& folder)
    {
        m_proc.process().setProcessChannelMode(QProcess::MergedChannels);
        if (!m_proc.start(QStringLiteral("python3"), {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                                      "--directory", folder}))
            return;
        const QRegularExpression re(QStringLiteral("port (\\d+)"));
        QString output;
        waitUntil([&] {
            output += QString::fromLocal8Bit(m_proc.process().readAll());
            const auto m = re.match(output);
            if (m.hasMatch())
                m_port = m.captured(1).toInt();
            return m_port != 0 || m_proc.process().state() == QProcess::NotRunning;
        }, 20000);
    }
    int port() const { return m_port; }
    QString url(const QString& file) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(file); }

private:
    GroupProcess m_proc;
    int m_port = 0;
};

inline void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

inline void writeThumb(const QString& path)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path, "PNG"));
}

// Headless Chromium on url with a DevTools port and the given profile folder; false when it did not
// announce its port in time.
inline bool startHeadlessChromium(GroupProcess& chromium, const QString& userDataDir, const QString& url)
{
    if (!chromium.start(QStringLiteral("chromium"),
                        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic",
                         "--remote-debugging-port=0", "--user-data-dir=" + userDataDir, url}))
        return false;
    return waitUntil([&] {
        QFile f(userDataDir + "/DevToolsActivePort");
        return f.open(QIODevice::ReadOnly) && f.readLine().trimmed().toInt() > 0;
    }, 60000);
}

} // namespace pxt::test
