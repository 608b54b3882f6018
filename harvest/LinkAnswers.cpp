#include "harvest/LinkAnswers.h"

namespace pxt {

QString LinkAnswers::mediaType(const QString& contentType)
{
    return contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
}

LinkAnswers::Kind LinkAnswers::kindOfType(const QString& contentType)
{
    const QString type = mediaType(contentType);
    if (type.startsWith(QLatin1String("image/")))
        return Kind::Picture;
    if (type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml"))
        return Kind::Page;
    return Kind::Unknown;
}

void LinkAnswers::note(const QString& link, Kind kind)
{
    if (kind != Kind::Unknown)
        m_kinds.insert(link, kind);
}

} // namespace pxt
