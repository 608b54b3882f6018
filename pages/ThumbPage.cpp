#include "pages/ThumbPage.h"

namespace pxt::ThumbPage {

QString pageTitle(const QString& documentTitle)
{
    static const QString prefix = QStringLiteral("Thumbnails from ");
    return documentTitle.contains(prefix) ? documentTitle : prefix + documentTitle;
}

QByteArray headerLine(const QString& documentTitle, int thumbnailSize)
{
    // Only the thumbnails inside their links: the checkboxes and texts keep their own size.
    const QString side = QString::number(thumbnailSize);
    return toPageBytes(QStringLiteral("<html><HEAD><META content=\"text/html; charset=iso-8859-1\" "
                                      "http-equiv=Content-Type><title>")
                       + escapeText(pageTitle(documentTitle))
                       + QStringLiteral("</title><style>td>a>img{max-width:%1px;max-height:%1px;width:auto;"
                                        "height:auto}</style></head>")
                             .arg(side)
                       + QStringLiteral("<body link=#FF641A vlink=#FF641A alink=#FF641A>"
                                        "<form><font face=arial size=2>"));
}

QByteArray titleLine(const QString& documentTitle, const QString& documentUrl)
{
    return toPageBytes(QStringLiteral("<font size=2 face=arial><b>") + escapeText(documentTitle)
                       + QStringLiteral("<b></font><br><a href=\"") + escapeAttribute(documentUrl)
                       + QStringLiteral("\" target=_blank style=\"font-family:Verdana,Arial,Helvetica,"
                                        "sans-serif; font-weight:bold; font-size:10px; "
                                        "text-decoration:none\">")
                       + escapeText(documentUrl) + QStringLiteral("</a><hr>"));
}

QByteArray tableStartLine() { return QByteArrayLiteral("<table align=center border=0 width=100%><tr>"); }

QByteArray rowBreakLine() { return QByteArrayLiteral("</tr><tr>"); }

QByteArray cellLine(const QString& link, const QString& image, const QString& name)
{
    const QString l = escapeAttribute(link);
    return toPageBytes(QStringLiteral("<td valign=bottom><a href=\"") + l
                       + QStringLiteral("\"><img border=0 alt=\"View Image: ") + l + QStringLiteral("\" src=")
                       + unquotedAttribute(image) + QStringLiteral("></a><div id=") + unquotedAttribute(link)
                       + QStringLiteral(" ><input type=checkbox name=\"") + escapeAttribute(name)
                       + QStringLiteral("\" value=\"") + l
                       + QStringLiteral("\"><font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; "
                                        "font-weight:bold; font-size:11px; color:#000000;\">&nbsp;")
                       + escapeText(name) + QStringLiteral("</font></div><br>"));
}

QByteArray tableEndLine() { return QByteArrayLiteral("</tr></table>"); }

QString summaryText(int linkFiltered, int sizeFiltered, int ratioFiltered)
{
    return QStringLiteral("%1 Image(s) filtered by Link, %2 Image(s) filtered by Size, %3 Image(s) filtered by Ratio")
        .arg(linkFiltered)
        .arg(sizeFiltered)
        .arg(ratioFiltered);
}

QByteArray summaryLine(int linkFiltered, int sizeFiltered, int ratioFiltered)
{
    return toPageBytes(QStringLiteral("<font color=red size=1><b>")
                       + summaryText(linkFiltered, sizeFiltered, ratioFiltered) + QStringLiteral("</font><br>"));
}

QByteArray trailerLine() { return QByteArrayLiteral("<br><br><br>"); }

QString summaryText(const FilterCounts& counts) { return summaryText(counts.link, counts.size, counts.ratio); }

PageLines harvestLines(const HarvestResult& result, int columns)
{
    PageLines lines;
    size_t next = 0; // the first cell not yet written
    for (size_t d = 0; d < result.documents.size(); ++d) {
        lines.append(tableStartLine());
        for (int k = 0; next < result.cells.size() && result.cells[next].document == int(d); ++next, ++k) {
            const ThumbCell& cell = result.cells[next];
            if (k > 0 && columns > 0 && k % columns == 0)
                lines.append(rowBreakLine());
            lines.append(cellLine(cell.link, cell.thumbnail, cell.name));
        }
        const HarvestedDocument& doc = result.documents[d];
        if (!doc.finished)
            continue;
        lines.append(tableEndLine());
        if (doc.rejected.any())
            lines.append(summaryLine(doc.rejected.link, doc.rejected.size, doc.rejected.ratio));
    }
    return lines;
}

PageLines grabbedPage(PageLines page, const QString& documentTitle, const QString& documentUrl,
                      const HarvestResult& result, int columns, int thumbnailSize)
{
    if (page.isEmpty())
        page.append(headerLine(documentTitle, thumbnailSize));
    page.append(titleLine(documentTitle, documentUrl));
    page.append(harvestLines(result, columns));
    page.append(trailerLine());
    return page;
}

} // namespace pxt::ThumbPage
