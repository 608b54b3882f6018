#pragma once

#include <QStringView>

namespace pxt {

// The order of the picker's list: ascending, the letters a to z counting as A to Z, every other
// character by its code point. Deliberately not locale-aware, so the order is the same everywhere.
// Negative, zero or positive as a sorts before, with or after b.
int compareListText(QStringView a, QStringView b);

} // namespace pxt
