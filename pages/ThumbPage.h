#pragma once

#include "pages/PageText.h"
#include "pages/ThumbCells.h"

#include <QString>

namespace pxt {

// The lines of the generated thumbnail page. Values are escaped for their place and converted to the
// page's 8-bit text; for ordinary addresses the lines are the page format's exact bytes.
namespace ThumbPage {

// "Thumbnails from " + title, unless the title already holds that text.
QString pageTitle(const QString& documentTitle);

// The head holds the rule that draws every thumbnail inside a square of thumbnailSize pixels, its
// aspect kept and never enlarged.
QByteArray headerLine(const QString& documentTitle, int thumbnailSize);
QByteArray titleLine(const QString& documentTitle, const QString& documentUrl);
QByteArray tableStartLine();
QByteArray rowBreakLine();
QByteArray cellLine(const QString& link, const QString& image, const QString& name);
QByteArray tableEndLine();
QByteArray summaryLine(int linkFiltered, int sizeFiltered, int ratioFiltered);
QByteArray trailerLine();

// The text a summary line gives, without its markup (for messages).
QString summaryText(int linkFiltered, int sizeFiltered, int ratioFiltered);
QString summaryText(const FilterCounts& counts);

// The lines of a harvest: a table for each document with a row break every columns cells, and after a
// finished document its table's end and, when its filters turned something away, its summary.
PageLines harvestLines(const HarvestResult& result, int columns);
// The thumbnail page after a grab: the page so far (a new one, its header first, when there is none),
// then the grabbed document's title line, the harvest's lines and the trailer.
PageLines grabbedPage(PageLines page, const QString& documentTitle, const QString& documentUrl,
                      const HarvestResult& result, int columns, int thumbnailSize);

} // namespace ThumbPage
} // namespace pxt
