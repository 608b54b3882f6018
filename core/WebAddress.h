#pragma once

#include <QUrl>

namespace pxt {

// An http or https address with a host: what a browser requests, sends cookies to and names in a
// Referer. (QUrl keeps the scheme in lower case.)
inline bool isWebAddress(const QUrl& url)
{
    return (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && !url.host().isEmpty();
}

} // namespace pxt
