#pragma once

#include <QString>

#include <span>
#include <vector>

namespace pxt {

class Document;
class Element;
class Settings;

// A thumbnail found other than as a link that holds an IMG.
struct FoundThumbnail {
    QString link;                        // where it leads: a full picture or a page
    const Element* linkElement = nullptr; // the link it lies in; null for a picture without a link
    const Element* picture = nullptr;    // the element that shows it
    QString image;                       // the thumbnail's address
    int width = 0;                       // its shown size
    int height = 0;
};

// The rules beyond the links that hold an IMG: each finds, in one document, thumbnails that galleries
// show some other way. The harvest puts what they find through the filters of the links' own
// thumbnails; a new way of showing thumbnails is one more entry here.
struct ThumbnailRule {
    const char* name;
    std::vector<FoundThumbnail> (*find)(const Document& doc, const Settings& settings);
};

// The rules, in the order their cells follow the links' own.
std::span<const ThumbnailRule> thumbnailRules();

// A link without an IMG, drawn (or holding an element drawn) with a CSS background picture.
std::vector<FoundThumbnail> backgroundThumbnails(const Document& doc, const Settings& settings);
// A picture outside any link whose element names its full picture in an attribute (lightboxes,
// viewers); none while the setting is off.
std::vector<FoundThumbnail> unlinkedPictures(const Document& doc, const Settings& settings);

} // namespace pxt
