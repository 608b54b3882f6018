#include "harvest/PictureFiles.h"

#include "harvest/LinkAnswers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>

#include <sys/stat.h>

namespace pxt::PictureFiles {

namespace {

bool isSeparator(QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); }

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

// Where the extension begins (its dot); -1 without one. A leading dot starts no extension.
qsizetype extensionAt(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? dot : -1;
}

// The text cut at a character so that its UTF-8 is at most maxBytes.
QString cutToBytes(const QString& text, qsizetype maxBytes)
{
    QString out;
    qsizetype bytes = 0;
    for (const char32_t c : text.toUcs4()) {
        const qsizetype n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + n > maxBytes)
            break;
        bytes += n;
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

// Keeps the extension whole and shortens the stem; an extension too long to be one is cut with it.
QString fitName(const QString& name)
{
    if (name.toUtf8().size() <= kMaxNameBytes)
        return name;
    const qsizetype dot = extensionAt(name);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    const qsizetype extBytes = ext.toUtf8().size();
    if (dot < 0 || extBytes > 32)
        return cutToBytes(name, kMaxNameBytes);
    return cutToBytes(name.left(dot), kMaxNameBytes - extBytes) + ext;
}

bool sameBytes(const QString& path, const QByteArray& bytes)
{
    if (QFileInfo(path).size() != bytes.size())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

// The reason a write failed; a full disk says so whatever the system calls it.
QString writeFailure(int error, const QFileDevice& file, const QString& folder, qint64 size)
{
    if (error == ENOSPC || error == EDQUOT || QStorageInfo(folder).bytesAvailable() < size)
        return QStringLiteral("disk full");
    return file.errorString();
}

} // namespace

QString safeName(const QString& text)
{
    QString name;
    bool usable = false;
    for (const char32_t c : text.toUcs4()) {
        if (isControl(c))
            continue;
        const QString s = QString::fromUcs4(&c, 1);
        const QChar first = s.at(0);
        if (!isSeparator(first) && first != QLatin1Char('.') && !first.isSpace())
            usable = true;
        name += isSeparator(first) ? QStringLiteral("_") : s;
    }
    if (!usable)
        return {};
    qsizetype from = 0;
    while (from < name.size() && (name.at(from) == QLatin1Char('.') || name.at(from).isSpace()))
        ++from;
    name = name.mid(from);
    while (!name.isEmpty() && name.back().isSpace())
        name.chop(1);
    return fitName(name);
}

QString nameFromAddress(const QUrl& address)
{
    // The last segment of the encoded path, so that an encoded slash stays inside the name.
    const QByteArray path = address.path(QUrl::FullyEncoded).toLatin1();
    const QByteArray segment = path.mid(path.lastIndexOf('/') + 1);
    return safeName(QUrl::fromPercentEncoding(segment));
}

QString withTypeExtension(const QString& name, const QString& contentType, const QByteArray& bytes)
{
    static const QMimeDatabase db;
    QMimeType type = db.mimeTypeForName(LinkAnswers::mediaType(contentType));
    if (!type.isValid() || !type.name().startsWith(QLatin1String("image/")))
        type = db.mimeTypeForData(bytes);
    if (!type.name().startsWith(QLatin1String("image/")) || type.preferredSuffix().isEmpty())
        return name;
    const qsizetype dot = extensionAt(name);
    if (dot >= 0) {
        // An extension that names a picture of any type stays: it is the name the user knows.
        for (const QMimeType& t : db.mimeTypesForFileName(name)) {
            if (t.name().startsWith(QLatin1String("image/")))
                return name;
        }
    }
    return fitName(name + QLatin1Char('.') + type.preferredSuffix());
}

bool isWebPage(const QString& contentType, const QByteArray& bytes)
{
    static const QMimeDatabase db;
    switch (LinkAnswers::kindOfType(contentType)) {
    case LinkAnswers::Kind::Page:
        return true;
    case LinkAnswers::Kind::Picture:
        return false;
    case LinkAnswers::Kind::Unknown:
        break;
    }
    return db.mimeTypeForData(bytes).inherits(QStringLiteral("text/html"));
}

QString numberedName(const QString& name, int n)
{
    const qsizetype dot = extensionAt(name);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString tail = QStringLiteral(" (%1)").arg(n) + ext;
    return cutToBytes(stem, kMaxNameBytes - tail.toUtf8().size()) + tail;
}

Stored store(const QString& folder, const QString& name, const QByteArray& bytes)
{
    const QDir dir(folder);
    // The name and every numbered one already in the folder: equal bytes there mean nothing to do.
    const qsizetype dot = extensionAt(name);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        bool candidate = entry == name;
        if (!candidate && entry.endsWith(ext)) {
            const qsizetype open = entry.lastIndexOf(QLatin1String(" ("), entry.size() - ext.size());
            const qsizetype close = entry.size() - ext.size() - 1;
            if (open > 0 && close > open + 2 && entry.at(close) == QLatin1Char(')')) {
                bool ok = false;
                const int n = entry.mid(open + 2, close - open - 2).toInt(&ok);
                candidate = ok && n >= 2 && numberedName(name, n) == entry;
            }
        }
        if (candidate && sameBytes(dir.filePath(entry), bytes))
            return {Stored::AlreadyThere, entry, {}};
    }

    QTemporaryFile part(dir.filePath(QStringLiteral(".pixtrawl-XXXXXX.part")));
    if (!part.open())
        return {Stored::Failed, {}, writeFailure(errno, part, folder, bytes.size())};
    // The picture is the user's like any file they save: the permissions their umask gives a new
    // file, not the temporary file's owner-only ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(part.handle(), 0666 & ~mask);
    errno = 0;
    if (part.write(bytes) != bytes.size() || !part.flush())
        return {Stored::Failed, {}, writeFailure(errno, part, folder, bytes.size())};
    part.close();
    // The rename never replaces a file: a name taken meanwhile makes the next number be tried.
    for (int n = 1; n < 100000; ++n) {
        const QString target = n == 1 ? name : numberedName(name, n);
        const QString path = dir.filePath(target);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            continue;
        QFile written(part.fileName());
        if (written.rename(path)) {
            part.setAutoRemove(false);
            return {Stored::Saved, target, {}};
        }
        if (!QFileInfo::exists(path))
            return {Stored::Failed, {}, written.errorString()};
    }
    return {Stored::Failed, {}, QStringLiteral("no free name")};
}

QString folderProblem(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return QStringLiteral("the folder cannot be made");
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".pixtrawl-XXXXXX.part")));
    if (!probe.open())
        return QStringLiteral("the folder cannot be written (%1)").arg(probe.errorString());
    return {};
}

} // namespace pxt::PictureFiles
