#include "browserhost/ProgramFolder.h"

#include <QCoreApplication>

namespace pxt {

namespace {
QString& overrideFolder()
{
    static QString f;
    return f;
}
} // namespace

QString programFolder()
{
    QString f = overrideFolder().isEmpty() ? QCoreApplication::applicationDirPath() : overrideFolder();
    if (!f.endsWith('/'))
        f += '/';
    return f;
}

void setProgramFolderForTests(const QString& folder) { overrideFolder() = folder; }

} // namespace pxt
