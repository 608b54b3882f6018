#include "ui/PictureDimensions.h"

#include <QBuffer>
#include <QImageReader>

namespace pxt {

QSize pictureDimensions(const QByteArray& firstBytes)
{
    QByteArray bytes = firstBytes; // QBuffer wants a mutable array; the copy shares the data
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    return size.isValid() && !size.isEmpty() ? size : QSize();
}

} // namespace pxt
