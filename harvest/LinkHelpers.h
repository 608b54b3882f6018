#pragma once

#include "core/AsciiText.h"
#include "core/ReferrerPolicy.h"

#include <QString>

namespace pxt {

class Document;
class Element;
class Settings;

// The text after the last "/" of the link; empty when there is none or the link ends with "/".
QString linkFileName(const QString& link);

// The link, or the empty string when a line of the live link filter occurs in it (plain,
// case-sensitive substring; an empty line never matches; nothing is excluded while the filter is off).
QString applyLinkFilter(const QString& link, const Settings& settings);

// The link file-type test: the name's extension (after its last ".", unless a "\" or ":" comes later)
// without the dot, or the whole name when it has none, searched upper-cased in the upper-cased file
// types. Upper-casing is ASCII only; the file types are not split at their commas.
bool matchesFileType(const QString& name, const QString& fileTypes);
bool matchesFileType(const QString& name, const Settings& settings);

// A banner's shape: one side at least ratio times the other. An image without a size has no shape to
// judge, and a ratio of 0 or less turns the test off.
bool isBanner(int width, int height, double ratio);

// The page's own referrer policy: that of its last <meta name="referrer"> that names one; Unset when
// none does.
ReferrerPolicy documentReferrerPolicy(const Document& doc);
// The policy of the requests a link leads to (rel="noreferrer", its referrerpolicy), and of a
// picture's request (its referrerpolicy), on a page with the given policy; never Unset.
ReferrerPolicy linkReferrerPolicy(const Element& link, ReferrerPolicy page);
ReferrerPolicy imageReferrerPolicy(const Element& image, ReferrerPolicy page);

} // namespace pxt
