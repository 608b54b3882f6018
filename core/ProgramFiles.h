#pragma once

#include <QString>

namespace pxt {

// The folder of the program file, with its trailing "/": every generated or read page file and the
// settings file live there.
QString programFolder();

// Tests point the program folder at a folder of their own.
void setProgramFolderForTests(const QString& folder);

// The program's files, by name and by full path in the program folder. Nothing else names them.
namespace ProgramFiles {

inline const QString kSettings = QStringLiteral("pxt.ini");
inline const QString kThumbsPage = QStringLiteral("thumbs.html");
inline const QString kSelectedPage = QStringLiteral("thumbs_sel.html");
inline const QString kBlankPage = QStringLiteral("clear.html");

// "download" + n + ".html": the view pages, numbered from 1.
QString viewPageName(int n);

QString settingsFile();
QString thumbsPage();
QString selectedPage();
QString blankPage();
QString viewPage(int n);

} // namespace ProgramFiles
} // namespace pxt
