#include "pages/SizeText.h"

#include "core/Rounding.h"
#include "pages/PageText.h"

namespace pxt::SizeText {

namespace {
const QString kFontStyle =
    QStringLiteral("font-family:Arial,Verdana,Helvetica,sans-serif; font-size:11px; color:#000000;");
} // namespace

QString kilobytes(qint64 bytes) { return QString::number(roundHalfEven(double(bytes) / 1024.0), 'f', 0); }

QString sizeText(const QString& kilobytes, QSize dimensions)
{
    const QString pixels = dimensions.isValid() && !dimensions.isEmpty()
                               ? QStringLiteral(", %1 x %2").arg(dimensions.width()).arg(dimensions.height())
                               : QString();
    return QStringLiteral("<font style=\"") + kFontStyle + QStringLiteral("\">&nbsp;&nbsp;") + kilobytes
           + QStringLiteral(" kB") + pixels + QStringLiteral(" </font>");
}

QString failureText(const QString& label, const QString& reason)
{
    return QStringLiteral("<font style=\"") + kFontStyle + QStringLiteral("\" title=\"") + escapeAttribute(reason)
           + QStringLiteral("\">&nbsp;&nbsp;") + escapeText(label) + QStringLiteral(" </font>");
}

QString pageText(const QString& mediaType) { return failureText(QStringLiteral("page"), mediaType); }

} // namespace pxt::SizeText
