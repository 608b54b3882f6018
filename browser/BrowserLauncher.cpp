#include "browser/BrowserLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace pxt {

namespace {

struct Candidate {
    const char* name;
    QStringList programs;
    const char* id;
    bool firefox;
};

const QList<Candidate>& candidates()
{
    static const QList<Candidate> list = {
        {"Chromium", {QStringLiteral("chromium"), QStringLiteral("chromium-browser")}, "chromium", false},
        {"Google Chrome", {QStringLiteral("google-chrome-stable"), QStringLiteral("google-chrome")}, "google-chrome", false},
        {"Brave", {QStringLiteral("brave-browser"), QStringLiteral("brave")}, "brave", false},
        {"Microsoft Edge", {QStringLiteral("microsoft-edge-stable"), QStringLiteral("microsoft-edge")}, "microsoft-edge", false},
        {"Vivaldi", {QStringLiteral("vivaldi-stable"), QStringLiteral("vivaldi")}, "vivaldi", false},
        {"Firefox ESR", {QStringLiteral("firefox-esr")}, "firefox-esr", true},
        {"Firefox", {QStringLiteral("firefox")}, "firefox", true},
    };
    return list;
}

// A shell script that only hands over to a browser already found (Debian's firefox wrapper, which
// runs firefox-esr) is that browser again.
bool wrapsOneOf(const QString& program, const QStringList& names)
{
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(1024);
    if (!head.startsWith("#!"))
        return false;
    for (const QString& name : names) {
        if (head.contains("exec " + name.toUtf8() + ' '))
            return true;
    }
    return false;
}

bool answers(const QString& endpoint)
{
    const auto replies = askEndpoints({endpoint}, {QStringLiteral("/json/version"), QStringLiteral("/session")},
                                      kEndpointAnswerTimeoutMs, 1 << 16);
    return endpointProtocol(replies[0][0], replies[0][1]) != EndpointProtocol::Unknown;
}

bool hasDisplay() { return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY"); }

// A process of that group (the one of that id when not a group of its own) that has not ended; a
// process that ended but was not reaped yet (where nobody reaps orphans) counts as ended.
bool alive(qint64 id, bool group)
{
    const QDir proc(QStringLiteral("/proc"));
    const QStringList pids = group ? proc.entryList(QDir::Dirs) : QStringList{QString::number(id)};
    for (const QString& pid : pids) {
        QFile stat(proc.filePath(pid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid pgrp ...": the name may hold blanks, the rest follows its last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && (!group || fields[2].toLongLong() == id))
            return true;
    }
    return false;
}

constexpr int kCheckIntervalMs = 200;
const QString kErrorLog = QStringLiteral("pixtrawl-start.log");

} // namespace

QList<LaunchableBrowser> installedBrowsers(const QStringList& searchPaths)
{
    QList<LaunchableBrowser> found;
    QSet<QString> programs;
    QStringList names;
    for (const Candidate& c : candidates()) {
        for (const QString& program : c.programs) {
            const QString path = QStandardPaths::findExecutable(program, searchPaths);
            if (path.isEmpty())
                continue;
            const QString canonical = QFileInfo(path).canonicalFilePath();
            if (!programs.contains(canonical) && !wrapsOneOf(path, names)) {
                programs.insert(canonical);
                found.append({QString::fromLatin1(c.name), path, QString::fromLatin1(c.id), c.firefox});
                names << c.programs;
            }
            break;
        }
    }
    return found;
}

QString lastLines(const QByteArray& text, int count)
{
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(QLatin1Char('\n')).trimmed();
}

BrowserLauncher::BrowserLauncher(QString profilesRoot, QObject* parent) : QObject(parent), m_root(std::move(profilesRoot))
{
    m_timer.setInterval(kCheckIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &BrowserLauncher::check);
}

// A browser still starting when the program ends goes on: it is the user's browser from now on.
BrowserLauncher::~BrowserLauncher() = default;

QString BrowserLauncher::profileFolder(const LaunchableBrowser& browser) const
{
    return m_root + QLatin1Char('/') + browser.id;
}

void BrowserLauncher::start(const LaunchableBrowser& browser, const QString& startPage)
{
    m_timer.stop();
    m_browser = browser;
    m_profile = profileFolder(browser);
    m_pid = 0;
    m_waitedMs = 0;

    // The profile holds the user's logins: private.
    if (!QDir().mkpath(m_profile)) {
        fail(QStringLiteral("could not be started: its profile folder %1 cannot be made").arg(m_profile));
        return;
    }
    QFile::setPermissions(m_profile, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString running = announcedEndpoint(m_profile);
    if (!running.isEmpty() && answers(running)) {
        QTimer::singleShot(0, this, [this, running] { Q_EMIT ready(running, true); });
        return;
    }
    // What an earlier run announced is stale: the next announcement is this start's.
    QFile::remove(m_profile + QStringLiteral("/DevToolsActivePort"));
    QFile::remove(m_profile + QStringLiteral("/WebDriverBiDiServer.json"));

    QStringList arguments;
    if (browser.firefox) {
        arguments << QStringLiteral("--profile") << m_profile << QStringLiteral("--remote-debugging-port")
                  << QStringLiteral("0") << QStringLiteral("--no-remote");
        if (!hasDisplay())
            arguments << QStringLiteral("--headless");
    } else {
        arguments << QStringLiteral("--user-data-dir=") + m_profile << QStringLiteral("--remote-debugging-port=0")
                  << QStringLiteral("--no-first-run") << QStringLiteral("--no-default-browser-check");
        if (::geteuid() == 0)
            arguments << QStringLiteral("--no-sandbox"); // Chromium refuses to run as root with its sandbox
        if (!hasDisplay())
            arguments << QStringLiteral("--headless=new");
    }
    arguments << (startPage.isEmpty() ? QStringLiteral("about:blank") : startPage);

    // In a session of its own, so that a failed start can be ended with every process it made.
    QProcess process;
    const QString setsid = QStandardPaths::findExecutable(QStringLiteral("setsid"));
    m_ownSession = !setsid.isEmpty();
    if (m_ownSession) {
        process.setProgram(setsid);
        process.setArguments(QStringList{browser.program} + arguments);
    } else {
        process.setProgram(browser.program);
        process.setArguments(arguments);
    }
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(m_profile + QLatin1Char('/') + kErrorLog);
    if (!process.startDetached(&m_pid)) {
        m_pid = 0;
        fail(QStringLiteral("could not be started: ") + process.errorString());
        return;
    }
    m_timer.start();
}

void BrowserLauncher::check()
{
    m_waitedMs += kCheckIntervalMs;
    const QString endpoint = announcedEndpoint(m_profile);
    if (!endpoint.isEmpty() && answers(endpoint)) {
        m_timer.stop();
        Q_EMIT ready(endpoint, false);
        return;
    }
    // Any process of its session alive: a browser may start itself anew once.
    if (m_pid > 0 && !alive(m_pid, m_ownSession)) {
        fail(QStringLiteral("stopped before it answered"));
        return;
    }
    if (m_waitedMs >= m_answerLimitMs)
        fail(QStringLiteral("did not answer within %1 s").arg(m_answerLimitMs / 1000));
}

void BrowserLauncher::fail(const QString& what)
{
    m_timer.stop();
    endProcesses();
    QFile log(m_profile + QLatin1Char('/') + kErrorLog);
    const QString said = log.open(QIODevice::ReadOnly) ? lastLines(log.readAll()) : QString();
    Q_EMIT failed(QStringLiteral("%1 %2.").arg(m_browser.name, what)
                  + (said.isEmpty() ? QString() : QStringLiteral("\n\nIt said:\n") + said));
}

void BrowserLauncher::endProcesses()
{
    if (m_pid <= 0)
        return;
    const pid_t target = m_ownSession ? -pid_t(m_pid) : pid_t(m_pid);
    ::kill(target, SIGTERM);
    for (int i = 0; i < 40 && alive(m_pid, m_ownSession); ++i)
        QThread::msleep(50);
    ::kill(target, SIGKILL);
    m_pid = 0;
}

} // namespace pxt
