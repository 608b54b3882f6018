#include "harvest/LinkHelpers.h"

#include "settings/Settings.h"

namespace pxt {

QString LinkFileName(const QString& link)
{
    const qsizetype slash = link.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : link.mid(slash + 1);
}

QString ApplyLinkFilter(const QString& link, const Settings& settings)
{
    if (!settings.linkFilterEnabled())
        return link;
    const QStringList lines = settings.linkFilterLines();
    for (const QString& line : lines) {
        if (!line.isEmpty() && link.contains(line, Qt::CaseSensitive))
            return QString();
    }
    return link;
}

bool MatchesFileType(const QString& name, const QString& fileTypes)
{
    if (name.isEmpty())
        return false;
    qsizetype pos = name.size() - 1;
    while (pos >= 0) {
        const QChar c = name.at(pos);
        if (c == QLatin1Char('.') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            break;
        --pos;
    }
    const QString types = asciiUpper(fileTypes);
    if (pos >= 0 && name.at(pos) == QLatin1Char('.')) {
        const QString ext = name.mid(pos + 1);
        return !ext.isEmpty() && types.contains(asciiUpper(ext));
    }
    return types.contains(asciiUpper(name));
}

bool MatchesFileType(const QString& name, const Settings& settings)
{
    return MatchesFileType(name, settings.fileTypes());
}

bool IsBanner(int width, int height, double ratio)
{
    if (ratio <= 0 || width <= 0 || height <= 0)
        return false;
    const long double w = width;
    const long double h = height;
    return w / h >= ratio || h / w >= ratio;
}

} // namespace pxt
