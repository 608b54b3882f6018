#include "core/ProgramFiles.h"

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

namespace ProgramFiles {

QString viewPageName(int n) { return QStringLiteral("download%1.html").arg(n); }

QString settingsFile() { return programFolder() + kSettings; }
QString thumbsPage() { return programFolder() + kThumbsPage; }
QString selectedPage() { return programFolder() + kSelectedPage; }
QString blankPage() { return programFolder() + kBlankPage; }
QString viewPage(int n) { return programFolder() + viewPageName(n); }

} // namespace ProgramFiles
} // namespace pxt
