#include "http/HttpResponse.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

namespace pxt {

namespace {

QByteArray lineText(const QByteArray& line)
{
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.endsWith('\r'))
        text.chop(1);
    return text;
}

// A header value without anything that could end a line of a later request.
QByteArray withoutControls(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 0x20 && u != 0x7f) || c == '\t')
            out.append(c);
    }
    return out;
}

} // namespace

QByteArray HttpResponse::statusLine() const
{
    const qsizetype end = m_header.indexOf('\n');
    return lineText(end < 0 ? m_header : m_header.left(end + 1));
}

// Splits data into header lines, each with its line end, as received; a line longer than the buffer
// keeps the buffer's size of text and its line end.
bool HttpResponse::takeHeader(const char* data, qint64 size, qint64& used)
{
    qint64 i = 0;
    while (i < size && !m_headerDone) {
        const char* begin = data + i;
        const qint64 available = size - i;
        const char* lf = static_cast<const char*>(std::memchr(begin, '\n', size_t(available)));
        const qint64 text = lf ? lf - begin : available;
        const qint64 taken = lf ? text + 1 : available;
        m_headerBytes += taken;
        if (m_headerBytes > kMaxHeaderSize) {
            used = i;
            return false;
        }
        i += taken;
        const qint64 room = kBufferSize - qint64(m_line.size());
        if (!m_lineCut && text <= room) {
            m_line.append(begin, text);
        } else {
            if (!m_lineCut && room > 0)
                m_line.append(begin, room);
            m_lineCut = true;
        }
        if (text > 0)
            m_lastWasCR = begin[text - 1] == '\r';
        if (lf) {
            if (m_lineCut)
                m_line.append(m_lastWasCR ? "\r\n" : "\n");
            else
                m_line.append('\n');
            const QByteArray line = std::exchange(m_line, {});
            m_lineCut = false;
            m_lastWasCR = false;
            takeLine(line);
        }
    }
    used = i;
    return true;
}

void HttpResponse::takeLine(const QByteArray& line)
{
    m_header += line;
    if (!m_statusLineTaken)
        takeStatusLine(line);
    else if (line == "\r\n" || line == "\n")
        m_headerDone = true;
    else
        takeHeaderLine(line);
}

void HttpResponse::endOfHeader()
{
    if (m_headerDone || m_line.isEmpty())
        return;
    const QByteArray line = std::exchange(m_line, {});
    m_header += line;
    if (!m_statusLineTaken)
        takeStatusLine(line);
    else
        takeHeaderLine(line);
}

void HttpResponse::takeStatusLine(const QByteArray& line)
{
    m_statusLineTaken = true;
    int field = 0;
    for (const QByteArray& f : lineText(line).split(' ')) {
        if (f.isEmpty())
            continue;
        if (++field == 2) {
            bool ok = false;
            const int number = f.toInt(&ok);
            m_replyNumber = ok ? number : 0;
            break;
        }
    }
}

void HttpResponse::takeHeaderLine(const QByteArray& line)
{
    const QByteArray text = lineText(line);
    // The name ends at its colon ("Content-Length:2048" as well as "Content-Length: 2048"); the value
    // begins after the blanks that follow it.
    const qsizetype blank = text.indexOf(' ');
    const qsizetype colon = text.indexOf(':');
    const qsizetype nameEnd = colon >= 0 && (blank < 0 || colon < blank) ? colon + 1 : (blank < 0 ? text.size() : blank);
    const QByteArray name = text.left(nameEnd).toUpper();
    qsizetype from = nameEnd;
    while (from < text.size() && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    const QByteArray value = withoutControls(text.mid(from));
    if (name == "SET-COOKIE:") {
        m_setCookie = value.left(kMaxValueLength);
    } else if (name == "LOCATION:") {
        // Not cut: a long address cut short would ask for another resource.
        m_location = QString::fromUtf8(value).trimmed();
    } else if (name == "CONTENT-LENGTH:") {
        qsizetype digits = 0;
        while (digits < value.size() && digits < 18 && value[digits] >= '0' && value[digits] <= '9')
            ++digits;
        m_contentLength = digits > 0 ? value.left(digits).toLongLong() : -1;
    } else if (name == "CONTENT-TYPE:") {
        // The media type alone, without its parameters ("text/html; charset=utf-8").
        m_contentType = QString::fromLatin1(value.left(kMaxValueLength).split(';').first().trimmed().toLower());
    }
}

void HttpResponse::takeBody(const char* data, qint64 size, qint64 keep)
{
    m_receivedBodyBytes += size;
    const qint64 taken = std::min(size, std::min(keep, kMaxKeptBody) - qint64(m_body.size()));
    if (taken > 0)
        m_body.append(data, taken);
}

} // namespace pxt
