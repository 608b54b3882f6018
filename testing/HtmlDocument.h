#pragma once

// Documents from HTML text, for the test view, tests and benchmarks: parsed with gumbo, which the
// program itself does not link (its pages are read from the serializer's JSON).

#include "dom/Document.h"

#include <functional>
#include <memory>

namespace pxt {

// Loads the document of a frame of a page parsed from text; returns null when it cannot be read.
using HtmlFrameLoader = std::function<std::shared_ptr<Document>(const QString& address)>;

// From HTML text and the page's address. Never fails: malformed HTML is repaired. The frames of
// FRAME and IFRAME elements are read through the loader when one is given. Markup written into the
// document (setInnerHTML) is parsed with gumbo too, as on the test view's pages.
std::shared_ptr<Document> htmlDocument(const QString& html, const QString& url, const HtmlFrameLoader& loader = {});

// Has markup written into the document parsed with gumbo where its page does not parse it: for
// documents read from JSON without a channel, or with one that cannot read back.
void parseWritesWithGumbo(Document& doc);

} // namespace pxt
