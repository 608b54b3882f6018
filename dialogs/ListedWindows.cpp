#include "dialogs/ListedWindows.h"

#include <QUrl>

namespace pxt {

bool isListedAddress(const QString& address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return false;
    // QUrl gives the scheme in lower case; a relative or malformed address has none and is listed.
    return QUrl(trimmed).scheme() != QLatin1String("file");
}

} // namespace pxt
