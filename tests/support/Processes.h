#pragma once

// What the browser tests start (headless Chromium, the local server over a folder), and small files
// for the sites they serve.

#include "testing/Chromium.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace pxt::test {

// Writes the file, making its folder first.
inline void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Writes a program (a script) only its owner may run.
inline void writeProgram(const QString& path, const QByteArray& script)
{
    writeFile(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The processes whose command line holds the text.
inline QList<int> processesWith(const QString& text)
{
    QList<int> pids;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().replace('\0', ' ').contains(text.toUtf8()))
            pids << pid.toInt();
    }
    return pids;
}

inline void writeThumb(const QString& path)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path, "PNG"));
}

} // namespace pxt::test
