#include "pages/ThumbPage.h"

namespace pxt::ThumbPage {

QString pageTitle(const QString& documentTitle)
{
    static const QString prefix = QStringLiteral("Thumbnails from ");
    return documentTitle.contains(prefix) ? documentTitle : prefix + documentTitle;
}

QByteArray headerLine(const QString& documentTitle)
{
    return toPageBytes(QStringLiteral("<html><HEAD><META content=\"text/html; charset=iso-8859-1\" "
                                      "http-equiv=Content-Type><title>")
                       + escapeText(pageTitle(documentTitle))
                       + QStringLiteral("</title></head><body link=#FF641A vlink=#FF641A alink=#FF641A>"
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

} // namespace pxt::ThumbPage
