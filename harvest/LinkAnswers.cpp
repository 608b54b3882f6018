#include "harvest/LinkAnswers.h"

namespace pxt {

LinkAnswers::Kind LinkAnswers::kindOfType(const QString& mediaType)
{
    if (mediaType.startsWith(QLatin1String("image/")))
        return Kind::Picture;
    if (mediaType == QLatin1String("text/html") || mediaType == QLatin1String("application/xhtml+xml"))
        return Kind::Page;
    return Kind::Unknown;
}

void LinkAnswers::note(const QString& link, Kind kind)
{
    if (kind != Kind::Unknown)
        m_kinds.insert(link, kind);
}

} // namespace pxt
