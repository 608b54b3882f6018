#pragma once

#include <QString>

namespace pxt {

// Whether the picker lists a window with this address: not when the address is empty, and not when
// its scheme is "file" (a folder or a local file, in any letter case). An address that merely holds
// the letters "file" (.../profile.html) is listed.
bool isListedAddress(const QString& address);

} // namespace pxt
