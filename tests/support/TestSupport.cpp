#include "tests/support/TestSupport.h"

#include "core/ProgramFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace pxt::test {

TempProgramFolder::TempProgramFolder()
{
    setProgramFolderForTests(path());
    QFile::copy(sourceDir() + "/resources/clear.html", file("clear.html"));
}

TempProgramFolder::~TempProgramFolder() { setProgramFolderForTests(QString()); }

QString TempProgramFolder::path() const { return m_dir.path() + '/'; }

bool TempProgramFolder::exists(const QString& name) const { return QFile::exists(file(name)); }

QByteArray TempProgramFolder::read(const QString& name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TempProgramFolder::write(const QString& name, const QByteArray& data) const
{
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
}

QString sourceDir()
{
    const QByteArray env = qgetenv("PXT_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(PXT_SOURCE_DIR_DEFAULT) : QString::fromLocal8Bit(env);
}

QString fixturePath(const QString& name) { return sourceDir() + "/tests/fixtures/" + name; }

QByteArray readFixture(const QString& name)
{
    QFile f(fixturePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

} // namespace pxt::test
