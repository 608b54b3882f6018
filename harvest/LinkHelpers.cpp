#include "harvest/LinkHelpers.h"

#include "dom/Document.h"

#include "settings/Settings.h"

namespace pxt {

QString linkFileName(const QString& link)
{
    const qsizetype slash = link.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : link.mid(slash + 1);
}

QString applyLinkFilter(const QString& link, const Settings& settings)
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

bool matchesFileType(const QString& name, const QString& fileTypes)
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

bool matchesFileType(const QString& name, const Settings& settings)
{
    return matchesFileType(name, settings.fileTypes());
}

bool isBanner(int width, int height, double ratio)
{
    if (ratio <= 0 || width <= 0 || height <= 0)
        return false;
    const long double w = width;
    const long double h = height;
    return w / h >= ratio || h / w >= ratio;
}

ReferrerPolicy documentReferrerPolicy(const Document& doc)
{
    ReferrerPolicy policy = ReferrerPolicy::Unset;
    for (const Element* e : doc.all()) {
        if (e->tagName() != QLatin1String("META")
            || e->getAttribute(QStringLiteral("name")).compare(QLatin1String("referrer"), Qt::CaseInsensitive) != 0)
            continue;
        const ReferrerPolicy p = referrerPolicyFromMeta(e->getAttribute(QStringLiteral("content")));
        if (p != ReferrerPolicy::Unset)
            policy = p;
    }
    return policy;
}

ReferrerPolicy linkReferrerPolicy(const Element& link, ReferrerPolicy page)
{
    const QString rel = link.getAttribute(QStringLiteral("rel")).simplified();
    for (QStringView token : QStringView(rel).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token.compare(QLatin1String("noreferrer"), Qt::CaseInsensitive) == 0)
            return ReferrerPolicy::NoReferrer;
    }
    return effectiveReferrerPolicy(referrerPolicyFromToken(link.getAttribute(QStringLiteral("referrerpolicy"))), page);
}

ReferrerPolicy imageReferrerPolicy(const Element& image, ReferrerPolicy page)
{
    return effectiveReferrerPolicy(referrerPolicyFromToken(image.getAttribute(QStringLiteral("referrerpolicy"))), page);
}

} // namespace pxt
