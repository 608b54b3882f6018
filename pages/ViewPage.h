#pragma once

#include "pages/PageText.h"

#include <QStringList>

namespace pxt {

// The view page of a view run: each picture as an image with three line breaks, its address in bold
// below it (a local file's address is not shown), the page head in front of the first line.
PageLines viewPage(const QStringList& pictures, const QString& head);

// The head of view pages for a grabbed page of this title text: a title element and nothing else,
// whatever markup the page put into its own title.
QString viewPageHead(const QString& title);

} // namespace pxt
