#pragma once

#include <QString>

namespace pxt {

// The program's identity on the desktop: the desktop entry, icon and metainfo carry this id.
inline const QString kApplicationId = QStringLiteral("org.example.pixtrawl");

// Names the application (settings folders, the window system's class and application id) and gives
// its windows the program's icon. No display name: the window system would append it to every
// window caption.
void setUpApplication();

} // namespace pxt
