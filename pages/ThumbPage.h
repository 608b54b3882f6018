#pragma once

#include "pages/PageText.h"

#include <QString>

namespace pxt {

// The lines of the generated thumbnail page. Values are escaped for their place and converted to the
// page's 8-bit text; for ordinary addresses the lines are the page format's exact bytes.
namespace ThumbPage {

// "Thumbnails from " + title, unless the title already holds that text.
QString pageTitle(const QString& documentTitle);

QByteArray headerLine(const QString& documentTitle);
QByteArray titleLine(const QString& documentTitle, const QString& documentUrl);
QByteArray tableStartLine();
QByteArray rowBreakLine();
QByteArray cellLine(const QString& link, const QString& image, const QString& name);
QByteArray tableEndLine();
QByteArray summaryLine(int linkFiltered, int sizeFiltered, int ratioFiltered);
QByteArray trailerLine();

// The text a summary line gives, without its markup (for messages).
QString summaryText(int linkFiltered, int sizeFiltered, int ratioFiltered);

} // namespace ThumbPage
} // namespace pxt
