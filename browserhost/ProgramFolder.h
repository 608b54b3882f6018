#pragma once

#include <QString>

namespace pxt {

// The folder of the program file, with its trailing "/": every generated or read page file and the
// settings file live there.
QString programFolder();

// Tests point the program folder at a folder of their own.
void setProgramFolderForTests(const QString& folder);

} // namespace pxt
