#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace pxt {

// Decodes a JPEG picture with libjpeg. Anything it cannot decode whole (empty, truncated or damaged
// data, an unsupported colour space) gives a null image; it never ends the program.
QImage decodeJpeg(const QByteArray& data);

// Reads a file or resource (":/splash.jpg") and decodes it; a null image when either fails.
QImage loadJpeg(const QString& path);

} // namespace pxt
