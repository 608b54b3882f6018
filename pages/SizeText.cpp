#include "pages/SizeText.h"

#include "core/Rounding.h"
#include "pages/PageText.h"

namespace pxt::SizeText {

namespace {
const QString kFontStyle =
    QStringLiteral("font-family:Arial,Verdana,Helvetica,sans-serif; font-size:11px; color:#000000;");
} // namespace

QString kilobytes(qint64 bytes) { return QString::number(roundHalfEven(double(bytes) / 1024.0), 'f', 0); }

QString sizeText(const QString& kilobytes)
{
    return QStringLiteral("<font style=\"") + kFontStyle + QStringLiteral("\">&nbsp;&nbsp;") + kilobytes
           + QStringLiteral(" kB </font>");
}

QString failureText(const QString& label, const QString& reason)
{
    return QStringLiteral("<font style=\"") + kFontStyle + QStringLiteral("\" title=\"") + escapeAttribute(reason)
           + QStringLiteral("\">&nbsp;&nbsp;") + escapeText(label) + QStringLiteral(" </font>");
}

} // namespace pxt::SizeText
