#pragma once

#include <QSize>
#include <QString>
#include <QtGlobal>

namespace pxt {

// What the size probe writes under a picture thumbnail, in the thumbnail page's style.
namespace SizeText {

// A size in bytes as whole kilobytes, rounded half to even.
QString kilobytes(qint64 bytes);
// The text of a picture's size ("&nbsp;&nbsp;169 kB "), with its dimensions when they are known
// ("&nbsp;&nbsp;169 kB, 2000 x 1500 ").
QString sizeText(const QString& kilobytes, QSize dimensions = {});
// The text of a request that failed or a reply that is not a success: the label (the reply number, or
// "?" without one) with the reason as its tooltip.
QString failureText(const QString& label, const QString& reason);
// The text under a link named like a picture whose server answered with a page: "page", with the
// reply's media type as its tooltip.
QString pageText(const QString& mediaType);

} // namespace SizeText
} // namespace pxt
