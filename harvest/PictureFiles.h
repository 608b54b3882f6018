#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace pxt {

// The file rules of saving pictures into a folder: the names, the duplicates and the writing. No
// network and no window: the saver calls them once a picture's bytes are in.
namespace PictureFiles {

// A name, like a file name, is at most this many bytes of UTF-8.
constexpr int kMaxNameBytes = 200;

// The text made fit to be one file or folder name: no path separators ('/' and '\' become '_'), no
// control characters, no leading dots or blanks, no trailing blanks, at most kMaxNameBytes (cut at a
// character, the extension kept). Empty when nothing usable is left ("...", "//").
QString safeName(const QString& text);

// The file name of a picture's address: its last path segment, percent-decoded, made safe. Empty when
// the address has none.
QString nameFromAddress(const QUrl& address);

// The name with an extension of the picture's type when it has none that fits the type. The type is
// the server's content type when it names a picture, else what the bytes are.
QString withTypeExtension(const QString& name, const QString& contentType, const QByteArray& bytes);

// The bytes are a web page, not a picture: an HTML content type, or HTML bytes under a type that
// names no picture.
bool isWebPage(const QString& contentType, const QByteArray& bytes);

// "name (n).ext" (n from 2), shortened at the end of the stem when it would pass kMaxNameBytes.
QString numberedName(const QString& name, int n);

// What became of one picture in the folder.
struct Stored {
    enum Kind { Saved, AlreadyThere, Failed } kind = Failed;
    QString fileName; // the name in the folder (Saved, AlreadyThere)
    QString failure;  // the reason (Failed): "disk full", the system's text
};

// Stores the bytes under the name in the folder: a file already there under the name or a numbered
// one with the same bytes means it is there already; otherwise the first free of name, "name (2)",
// ... is taken. The bytes go to a hidden file beside it first, which is renamed only when complete and
// never over an existing file, so no partial file ever has the final name.
Stored store(const QString& folder, const QString& name, const QByteArray& bytes);

// The folder is made when missing and a file can be written in it; else the reason.
QString folderProblem(const QString& folder);

} // namespace PictureFiles
} // namespace pxt
