#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace pxt::test {

// A program folder of the test's own, holding clear.html as the program's folder does; generated
// pages and the settings file land there. Restores nothing: every test makes its own.
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();
    QString path() const; // with trailing "/"
    QString file(const QString& name) const { return path() + name; }
    bool exists(const QString& name) const;
    QByteArray read(const QString& name) const;
    void write(const QString& name, const QByteArray& data) const;

private:
    QTemporaryDir m_dir;
};

// The source tree's folder (PXT_SOURCE_DIR from CTest, else the compiled-in path).
QString sourceDir();
// A file under tests/fixtures.
QString fixturePath(const QString& name);
QByteArray readFixture(const QString& name);

// Processes events until pred() is true or the time runs out; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 10000);

} // namespace pxt::test
