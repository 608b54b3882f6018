#pragma once

#include <QString>

namespace pxt {

// ASCII-only upper-casing, as the page tests use it: other letters stay as they are.
QString asciiUpper(const QString& text);

// A status line with the load's percentage: text + " N %", N rounded half to even. Empty while the
// load has not begun (progress below 1, no maximum) and once it reaches 100 %.
QString percentStatus(const QString& text, int progress, int progressMax);

} // namespace pxt
