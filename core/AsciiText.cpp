#include "core/AsciiText.h"

#include "core/Rounding.h"

namespace pxt {

QString asciiUpper(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return out;
}

QString percentStatus(const QString& text, int progress, int progressMax)
{
    if (progress < 1 || progressMax < 1)
        return {};
    const double n = roundHalfEven(double(progress) * 100.0 / double(progressMax));
    if (n >= 100)
        return {};
    return text + QStringLiteral(" %1 %").arg(int(n));
}

} // namespace pxt
