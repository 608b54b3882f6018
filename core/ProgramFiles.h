#pragma once

#include <QString>

namespace pxt {

// The folder of the program file, with its trailing "/".
QString programFolder();

// Tests point the program folder at a folder of their own; every file of the program then lives there.
void setProgramFolderForTests(const QString& folder);

// The program's files, by name and by full path. Nothing else names them or decides where they live.
namespace ProgramFiles {

inline const QString kSettings = QStringLiteral("pxt.ini");
inline const QString kThumbsPage = QStringLiteral("thumbs.html");
inline const QString kSelectedPage = QStringLiteral("thumbs_sel.html");
inline const QString kBlankPage = QStringLiteral("clear.html");
inline const QString kUserGuide = QStringLiteral("guide.html");
// Where an installed program finds its blank page, from its own folder.
inline const QString kInstalledData = QStringLiteral("../share/pixtrawl/");

// "download" + n + ".html": the view pages, numbered from 1.
QString viewPageName(int n);

// The folders of the settings file and of the generated pages (each with its trailing "/") and the
// blank page. Beside the program when its folder holds the blank page and can be written (a build
// tree, a copy in the user's home); otherwise, as in an install under /usr, the settings file in
// configHome + "pixtrawl/" and the pages in cacheHome + "pixtrawl/", the blank page beside the
// program or in its installed data folder.
struct Places {
    QString settingsFolder;
    QString pagesFolder;
    QString blankPage;
    bool besideProgram = true;
};
Places placesFor(const QString& programFolder, const QString& configHome, const QString& cacheHome);

// The places of this run ($XDG_CONFIG_HOME and $XDG_CACHE_HOME, or their defaults ~/.config and
// ~/.cache); the folders are made when they do not exist.
const Places& places();

QString settingsFile();
QString thumbsPage();
QString selectedPage();
QString blankPage();
// The user guide, shipped beside the blank page.
QString userGuide();
QString viewPage(int n);

} // namespace ProgramFiles
} // namespace pxt
