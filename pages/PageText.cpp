#include "pages/PageText.h"

#include "core/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pxt {

QString escapeText(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '\r': out += QLatin1String("&#13;"); break;
        default: out += c;
        }
    }
    return out;
}

QString escapeAttribute(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\r': out += QLatin1String("&#13;"); break;
        default: out += c;
        }
    }
    return out;
}

QString unquotedAttribute(const QString& value)
{
    bool safe = !value.isEmpty();
    for (QChar c : value) {
        if (c.isSpace() || c == '"' || c == '\'' || c == '`' || c == '<' || c == '>' || c == '&') {
            safe = false;
            break;
        }
    }
    return safe ? value : QLatin1Char('"') + escapeAttribute(value) + QLatin1Char('"');
}

QByteArray toPageBytes(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x100) {
            out += char(u);
            continue;
        }
        char32_t cp = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            cp = QChar::surrogateToUcs4(u, text.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            cp = 0xFFFD; // a lone surrogate is no character
        }
        out += "&#" + QByteArray::number(uint(cp)) + ';';
    }
    return out;
}

void writePageLines(const QString& path, const PageLines& lines)
{
    QByteArray data;
    qsizetype size = 0;
    for (const QByteArray& l : lines)
        size += l.size() + 2;
    data.reserve(size);
    for (const QByteArray& l : lines) {
        data += l;
        data += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw Error(QStringLiteral("Cannot create file %1").arg(path));
}

void writeProgramPage(const QString& path, const PageLines& lines)
{
    if (QFileInfo(path).isSymLink() && !QFile::remove(path))
        throw Error(QStringLiteral("Cannot create file %1").arg(path));
    writePageLines(path, lines);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

} // namespace pxt
