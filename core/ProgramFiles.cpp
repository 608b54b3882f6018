#include "core/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace pxt {

namespace {
QString& overrideFolder()
{
    static QString f;
    return f;
}

QString withSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
} // namespace

QString programFolder()
{
    return withSlash(overrideFolder().isEmpty() ? QCoreApplication::applicationDirPath() : overrideFolder());
}

void setProgramFolderForTests(const QString& folder) { overrideFolder() = folder; }

namespace ProgramFiles {

QString viewPageName(int n) { return QStringLiteral("download%1.html").arg(n); }

Places placesFor(const QString& programFolder, const QString& configHome, const QString& cacheHome)
{
    const QString folder = withSlash(programFolder);
    const bool hasBlankPage = QFileInfo::exists(folder + kBlankPage);
    if (hasBlankPage && QFileInfo(folder).isWritable())
        return {folder, folder, folder + kBlankPage, true};
    const QString blank = hasBlankPage ? folder + kBlankPage : QDir::cleanPath(folder + kInstalledData + kBlankPage);
    return {withSlash(configHome) + QStringLiteral("pixtrawl/"), withSlash(cacheHome) + QStringLiteral("pixtrawl/"),
            blank, false};
}

const Places& places()
{
    if (!overrideFolder().isEmpty()) {
        static Places forTests;
        const QString folder = programFolder();
        forTests = {folder, folder, folder + kBlankPage, true};
        return forTests;
    }
    static const Places run = [] {
        Places p = placesFor(QCoreApplication::applicationDirPath(),
                             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                             QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
        if (!p.besideProgram) {
            QDir().mkpath(p.settingsFolder);
            // The pages hold the galleries' addresses: a folder the program makes is the user's only.
            if (!QFileInfo::exists(p.pagesFolder) && QDir().mkpath(p.pagesFolder))
                QFile::setPermissions(p.pagesFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        }
        return p;
    }();
    return run;
}

QString settingsFile() { return places().settingsFolder + kSettings; }
QString thumbsPage() { return places().pagesFolder + kThumbsPage; }
QString selectedPage() { return places().pagesFolder + kSelectedPage; }
QString blankPage() { return places().blankPage; }

QString userGuide() { return QFileInfo(blankPage()).dir().filePath(kUserGuide); }
QString viewPage(int n) { return places().pagesFolder + viewPageName(n); }

} // namespace ProgramFiles
} // namespace pxt
