#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pxt {

// A generated page is a list of 8-bit lines in ISO-8859-1, the charset the pages declare.
using PageLines = QList<QByteArray>;

// Escaping of values inserted into generated pages, each for its place. Escaping comes first, the
// conversion to page bytes last. A CR is written as a reference: a parser reads one that stands in
// the page itself as a line feed.
QString escapeText(const QString& value);          // element text: & < > CR
QString escapeAttribute(const QString& value);     // inside a double-quoted attribute: & " CR
// An attribute the page format writes unquoted: the value itself while it is safe there, otherwise
// the value double-quoted and escaped.
QString unquotedAttribute(const QString& value);

// ISO-8859-1 bytes; a character outside it becomes a decimal numeric character reference of its code
// point, so nothing is lost.
QByteArray toPageBytes(const QString& text);

// Writes the lines, each ended by CR LF, no byte-order mark, replacing the file whole. Throws Error.
void writePageLines(const QString& path, const PageLines& lines);
// The same for a page of the program's own (thumbs.html, thumbs_sel.html, downloadN.html): a link in
// its place is replaced by the page, its target untouched, and the page is readable by the user only;
// it holds the gallery's addresses.
void writeProgramPage(const QString& path, const PageLines& lines);

} // namespace pxt
