#include "pages/SelectedPage.h"

#include "core/Error.h"
#include "dom/Document.h"
#include "pages/ThumbPage.h"

#include <QRegularExpression>

namespace pxt {

PageLines selectedThumbsPage(const Document& thumbs, int columns, int thumbnailSize)
{
    PageLines lines;
    lines.append(ThumbPage::headerLine(thumbs.title(), thumbnailSize));
    lines.append(ThumbPage::tableStartLine());
    int selected = 0;
    const std::vector<Element*>& all = thumbs.all();
    for (size_t i = 0, n = all.size(); i < n; ++i) {
        const Element* e = all[i];
        if (e->tagName() != QLatin1String("DIV"))
            continue;
        for (const Element* child : e->children()) {
            if (child->tagName() != QLatin1String("INPUT") || !child->checked())
                continue;
            // The cell as the view writes it; a line break inside it (the page's own line end after
            // the cell) starts a new line of the file, so every line ends with CR LF. A cell too long
            // to be written is left out, as an unreadable frame is.
            QString markup;
            const Element* cell = e->parentElement();
            if (cell) {
                try {
                    markup = cell->outerHTML();
                } catch (const Error&) {
                    continue;
                }
            }
            if (selected > 0 && selected % columns == 0)
                lines.append(ThumbPage::rowBreakLine());
            ++selected;
            if (cell) {
                static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
                for (const QString& line : markup.split(lineBreak))
                    lines.append(toPageBytes(line));
            }
        }
    }
    if (lines.size() <= 2)
        return {};
    lines.append(QByteArrayLiteral("</tr></table></form></body></html>"));
    return lines;
}

} // namespace pxt
