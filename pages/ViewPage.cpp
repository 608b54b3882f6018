#include "pages/ViewPage.h"

#include "core/AsciiText.h"

namespace pxt {

namespace {
const QString kFontOpen = QStringLiteral("><br><font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; "
                                         "font-weight:bold; font-size:11px; color:#000000;\">");
} // namespace

PageLines viewPage(const QStringList& pictures, const QString& head)
{
    PageLines lines;
    lines.reserve(pictures.size());
    for (const QString& s : pictures) {
        if (asciiUpper(s).contains(QLatin1String("FILE://")))
            lines.append(toPageBytes(QStringLiteral("<img src=") + unquotedAttribute(s) + QStringLiteral("><br><br><br><br>")));
        else
            lines.append(toPageBytes(QStringLiteral("<img src=") + unquotedAttribute(s) + kFontOpen + escapeText(s)
                                     + QStringLiteral("</font><br><br><br>")));
    }
    const QByteArray headBytes = toPageBytes(head);
    if (lines.isEmpty()) {
        if (!headBytes.isEmpty())
            lines.append(headBytes);
    } else {
        lines.first().prepend(headBytes);
    }
    return lines;
}

QString viewPageHead(const QString& title)
{
    // Escaped as outerHTML writes a title's text, so an ordinary title comes out as the page has it.
    QString text = escapeText(title);
    text.replace(QChar(0xA0), QLatin1String("&nbsp;"));
    return QStringLiteral("<HEAD><title>") + text + QStringLiteral("</title></HEAD>");
}

} // namespace pxt
