#pragma once

#include <QByteArray>
#include <QSize>

namespace pxt {

// A picture's width and height from its first bytes, read by Qt's image reader from the header alone;
// an invalid size when those bytes do not tell them (not a picture, or the header lies further on).
QSize pictureDimensions(const QByteArray& firstBytes);

} // namespace pxt
