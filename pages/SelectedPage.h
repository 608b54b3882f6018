#pragma once

#include "pages/PageText.h"

namespace pxt {

class Document;

// The page of the selected thumbnails: the thumbnail page's header and table, then the cell of every
// checked box as the shown page writes it, a row break after every `columns` cells. Empty when no box
// is checked.
PageLines selectedThumbsPage(const Document& thumbs, int columns, int thumbnailSize);

} // namespace pxt
