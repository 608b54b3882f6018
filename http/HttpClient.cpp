#include "http/HttpClient.h"

#include "core/Error.h"

#include <QUrl>
#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace pxt {

namespace {

// A Get that was taken over, or whose connection was closed before the response, ends quietly.
struct Ended {};

// The position of the n-th (1-based) slash, or -1.
qsizetype nthSlash(const QString& text, int n)
{
    qsizetype at = -1;
    for (int i = 0; i < n; ++i) {
        at = text.indexOf(QLatin1Char('/'), at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}

// A header value without anything that could end a line of a later request.
QByteArray withoutControls(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f)
            out.append(c);
        else if (c == '\t')
            out.append(c);
    }
    return out;
}

// The path as it goes into the request line: blanks, controls and non-ASCII characters percent-encoded,
// so that no address can break the line.
QByteArray requestPath(const QString& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char c : path.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f) {
            out.append('%');
            out.append(hex[u >> 4]);
            out.append(hex[u & 15]);
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray lineText(const QByteArray& line)
{
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.endsWith('\r'))
        text.chop(1);
    return text;
}

class Running {
public:
    explicit Running(int& count) : m_count(count) { ++m_count; }
    ~Running() { --m_count; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    int& m_count;
};

} // namespace

THttpClient::THttpClient() : m_buffer(new char[kBufferSize]) {}

THttpClient::~THttpClient()
{
    if (m_running > 0)
        qFatal("THttpClient destroyed while a request runs");
}

void THttpClient::Disconnect() { m_socket.Close(); }

void THttpClient::Abort() { m_socket.Abort(); }

void THttpClient::Get(const QString& url)
{
    if (m_socket.Connected())
        throw Error(QStringLiteral("Bereits verbunden"));
    const std::uint64_t generation = ++m_generation;
    const Running running(m_running);
    m_socket.ClearAbort();
    m_url = url;
    try {
        request(generation);
    } catch (const Ended&) {
    } catch (...) {
        if (generation == m_generation)
            m_socket.Close();
        throw;
    }
}

void THttpClient::request(std::uint64_t generation)
{
    parseAddress();
    for (int repeats = 0;; ++repeats) {
        m_header.clear();
        m_headerBytes = 0;
        m_replyNumber = 0;
        m_contentLength = -1;
        m_body.clear();
        m_receivedBodyBytes = 0;
        m_setCookie.clear();
        m_location.clear();

        if (!m_socket.Connect(m_host, quint16(m_port)))
            throw Ended {};
        if (generation != m_generation)
            throw Ended {};
        if (!m_socket.Send(requestText()) || generation != m_generation)
            throw Ended {};
        readResponse(generation);
        m_socket.Close();

        if (m_replyNumber < 299) {
            if (const auto handler = OnSuccess)
                handler();
            return;
        }
        if (m_replyNumber >= 400)
            return;
        if (!m_setCookie.isEmpty()) {
            m_cookieHost = m_host;
            m_cookie = m_setCookie;
        }
        if (repeats == kMaxRepeats)
            return;
        if (m_replyNumber >= 300 && m_replyNumber <= 302 && !m_location.isEmpty())
            m_url = redirectAddress(m_location);
        parseAddress();
    }
}

void THttpClient::parseAddress()
{
    if (m_port == 0)
        m_port = 80;

    const bool hasDoubleSlash = m_url.contains(QLatin1String("//"));
    const qsizetype firstSlash = m_url.indexOf(QLatin1Char('/'));
    if (hasDoubleSlash) {
        const qsizetype third = nthSlash(m_url, 3);
        m_path = third >= 0 ? m_url.mid(third) : QString();
    } else {
        m_path = firstSlash >= 0 ? m_url.mid(firstSlash) : QString();
    }
    m_path.truncate(kMaxValueLength);

    // A colon names a scheme only before the first slash: "/a:b" is a path.
    const qsizetype colon = m_url.indexOf(QLatin1Char(':'));
    if (colon >= 0 && (firstSlash < 0 || colon < firstSlash)) {
        const QString scheme = m_url.left(colon).toLower();
        if (scheme == QLatin1String("https"))
            throw Error(QStringLiteral("HTTP Secure Socket is not supported"));
        if (scheme == QLatin1String("gopher"))
            m_port = 70;
        else if (scheme == QLatin1String("ftp"))
            m_port = 21;
        else
            m_port = 80;
    }

    QString hostPart;
    if (hasDoubleSlash) {
        const qsizetype second = nthSlash(m_url, 2);
        const qsizetype third = nthSlash(m_url, 3);
        hostPart = m_url.mid(second + 1, third >= 0 ? third - second - 1 : -1);
    } else if (!m_url.startsWith(QLatin1Char('/'))) {
        hostPart = firstSlash >= 0 ? m_url.left(firstSlash) : m_url;
    }
    const qsizetype portColon = hostPart.indexOf(QLatin1Char(':'));
    if (portColon >= 0) {
        bool ok = false;
        const int port = hostPart.mid(portColon + 1).toInt(&ok, 10);
        if (ok && port > 0 && port <= 65535)
            m_port = port;
        hostPart.truncate(portColon);
    }
    if (!hostPart.isEmpty())
        m_host = hostPart;

    if (m_path.isEmpty()) {
        m_path = QStringLiteral("/");
        m_url += QLatin1Char('/');
    }
}

// A Location that names neither a server nor a path from the root goes to the current server's root,
// on its port.
QString THttpClient::redirectAddress(const QString& location) const
{
    if (location.contains(QLatin1String("//")) || location.startsWith(QLatin1Char('/')))
        return location;
    QString server = m_host;
    if (m_port != 80)
        server += QLatin1Char(':') + QString::number(m_port);
    return QStringLiteral("http://") + server + QLatin1Char('/') + location;
}

QByteArray THttpClient::requestText() const
{
    QByteArray host = m_host.toLatin1();
    for (QChar c : m_host) {
        if (c.unicode() >= 0x80) {
            host = QUrl::toAce(m_host);
            break;
        }
    }
    QByteArray text;
    text += "GET " + requestPath(m_path) + " HTTP/1.0\r\n";
    text += "Host: " + host + "\r\n";
    text += "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
    text += "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
    if (!m_cookie.isEmpty() && m_cookieHost.compare(m_host, Qt::CaseInsensitive) == 0)
        text += "Cookie: " + m_cookie + "\r\n";
    text += "Content-type: application/x-www-form-urlencoded\r\n";
    text += "\r\n";
    return text;
}

void THttpClient::readResponse(std::uint64_t generation)
{
    m_bufferStart = m_bufferEnd = 0;
    m_endOfConnection = false;

    QByteArray line;
    if (readLine(line, generation)) {
        m_header += line;
        const QList<QByteArray> fields = lineText(line).split(' ');
        int field = 0;
        for (const QByteArray& f : fields) {
            if (f.isEmpty())
                continue;
            if (++field == 2) {
                bool ok = false;
                const int number = f.toInt(&ok);
                m_replyNumber = ok ? number : 0;
                break;
            }
        }
        while (readLine(line, generation)) {
            m_header += line;
            if (line == "\r\n" || line == "\n")
                break;
            takeHeaderLine(line);
        }
    }

    if (m_bufferEnd > m_bufferStart) {
        const qint64 start = m_bufferStart;
        m_bufferStart = m_bufferEnd;
        takeBody(m_buffer.get() + start, m_bufferEnd - start, generation);
    }
    while (!m_endOfConnection) {
        const qint64 n = m_socket.Receive(m_buffer.get(), kBufferSize, QStringLiteral("Socket-Capture abgebrochen"));
        if (generation != m_generation)
            throw Ended {};
        if (n <= 0)
            break;
        takeBody(m_buffer.get(), n, generation);
    }
}

void THttpClient::takeBody(const char* data, qint64 size, std::uint64_t generation)
{
    m_receivedBodyBytes += size;
    const qint64 keep = std::min(size, kMaxKeptBody - qint64(m_body.size()));
    if (keep > 0)
        m_body.append(data, keep);
    // A copy, so that the handler may replace the event.
    if (const auto handler = OnPacketRecvd)
        handler();
    if (generation != m_generation)
        throw Ended {};
}

// One line with its line end, as received; a line longer than the buffer keeps the buffer's size of
// text and its line end. False when the connection ended before a single byte of it.
bool THttpClient::readLine(QByteArray& line, std::uint64_t generation)
{
    line.clear();
    bool any = false;
    bool cut = false;
    bool lastWasCR = false;
    for (;;) {
        if (m_bufferStart == m_bufferEnd) {
            if (m_endOfConnection)
                return any;
            const qint64 n = m_socket.Receive(m_buffer.get(), kBufferSize, QStringLiteral("Socket-readln abgebrochen"));
            if (generation != m_generation)
                throw Ended {};
            m_bufferStart = m_bufferEnd = 0;
            if (n <= 0) {
                m_endOfConnection = true;
                return any;
            }
            m_bufferEnd = n;
        }
        const char* begin = m_buffer.get() + m_bufferStart;
        const qint64 available = m_bufferEnd - m_bufferStart;
        const char* lf = static_cast<const char*>(std::memchr(begin, '\n', size_t(available)));
        const qint64 text = lf ? lf - begin : available;
        const qint64 taken = lf ? text + 1 : available;

        m_headerBytes += taken;
        if (m_headerBytes > kMaxHeaderSize)
            throw Error(QStringLiteral("Header too large"));
        any = true;
        m_bufferStart += taken;

        const qint64 room = kBufferSize - qint64(line.size());
        if (!cut && text <= room) {
            line.append(begin, text);
        } else {
            if (!cut && room > 0)
                line.append(begin, room);
            cut = true;
        }
        if (text > 0)
            lastWasCR = begin[text - 1] == '\r';
        if (lf) {
            if (cut)
                line.append(lastWasCR ? "\r\n" : "\n");
            else
                line.append('\n');
            return true;
        }
    }
}

void THttpClient::takeHeaderLine(const QByteArray& line)
{
    const QByteArray text = lineText(line);
    const qsizetype blank = text.indexOf(' ');
    const QByteArray name = (blank < 0 ? text : text.left(blank)).toUpper();
    const auto value = [&] { return withoutControls(text.mid(name.size() + 1).left(kMaxValueLength)); };
    if (name == "SET-COOKIE:") {
        m_setCookie = value();
    } else if (name == "LOCATION:") {
        m_location = QString::fromUtf8(value());
    } else if (name == "CONTENT-LENGTH:") {
        const QByteArray v = value();
        qsizetype digits = 0;
        while (digits < v.size() && digits < 18 && v[digits] >= '0' && v[digits] <= '9')
            ++digits;
        m_contentLength = digits > 0 ? v.left(digits).toLongLong() : -1;
    }
}

} // namespace pxt
