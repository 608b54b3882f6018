#include "harvest/ThumbnailRules.h"

#include "dom/Document.h"
#include "settings/Settings.h"

#include <array>

namespace pxt {

namespace {

// The attributes lightbox and viewer libraries keep a picture's full address in, the first present
// deciding.
const std::array<QString, 6> kFullPictureAttributes = {
    QStringLiteral("data-original"),   QStringLiteral("data-full"),       QStringLiteral("data-large-file"),
    QStringLiteral("data-orig-file"),  QStringLiteral("data-zoom-image"), QStringLiteral("data-highres"),
};

bool isImage(const Element& e) { return e.tagName() == QLatin1String("IMG"); }

bool isLink(const Element& e)
{
    return (e.tagName() == QLatin1String("A") || e.tagName() == QLatin1String("AREA"))
           && e.hasAttribute(QStringLiteral("href"));
}

// The next node after n in document order within root, or null.
const Node* nextWithin(const Node* n, const Node* root)
{
    if (const Node* child = n->firstChild())
        return child;
    while (n && n != root && !n->nextSibling())
        n = n->parentNode();
    return !n || n == root ? nullptr : n->nextSibling();
}

} // namespace

std::vector<FoundThumbnail> backgroundThumbnails(const Document& doc, const Settings&)
{
    std::vector<FoundThumbnail> found;
    for (const Element* link : doc.links()) {
        const Element* drawn = nullptr;
        bool holdsImage = false;
        for (const Node* n = link; n && !holdsImage; n = nextWithin(n, link)) {
            const Element* e = n->asElement();
            if (!e)
                continue;
            holdsImage = isImage(*e);
            if (!drawn && !e->backgroundImage().isEmpty())
                drawn = e;
        }
        if (drawn && !holdsImage)
            found.push_back({link->href(), link, drawn, drawn->backgroundImage(), drawn->width(), drawn->height()});
    }
    return found;
}

std::vector<FoundThumbnail> unlinkedPictures(const Document& doc, const Settings& settings)
{
    std::vector<FoundThumbnail> found;
    if (!settings.takeUnlinkedPictures())
        return found;
    for (const Element* img : doc.all()) {
        if (!isImage(*img))
            continue;
        QString full;
        for (const QString& name : kFullPictureAttributes) {
            full = img->getAttribute(name).trimmed();
            if (!full.isEmpty())
                break;
        }
        if (full.isEmpty())
            continue;
        bool linked = false;
        for (const Element* up = img->parentElement(); up && !linked; up = up->parentElement())
            linked = isLink(*up);
        if (!linked)
            found.push_back({doc.resolve(full), nullptr, img, img->href(), img->width(), img->height()});
    }
    return found;
}

std::span<const ThumbnailRule> thumbnailRules()
{
    static const ThumbnailRule rules[] = {
        {"links drawn with a background picture", &backgroundThumbnails},
        {"pictures without a link", &unlinkedPictures},
    };
    return rules;
}

} // namespace pxt
