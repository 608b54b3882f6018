#include "http/HttpClient.h"

#include "http/BrowserSession.h"

#include "core/Error.h"
#include "core/Pump.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <utility>

namespace pxt {

namespace {

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
        if ((u >= 0x20 && u != 0x7f) || c == '\t')
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

// A host name as it goes to the resolver and into the Host line: ASCII (international names in their
// ACE form) and nothing that could end a line or a field; empty when there is no such form.
QByteArray asciiHost(const QString& host)
{
    const QByteArray ace = QUrl::toAce(host);
    for (char c : ace) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '/' || c == '\\')
            return {};
    }
    return ace;
}

QString textOf(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const Error& error) {
        return error.text();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
    }
    return QStringLiteral("Unbekannter Fehler");
}

bool followsLocation(int reply)
{
    return (reply >= 300 && reply <= 303) || reply == 307 || reply == 308;
}

} // namespace

THttpClient::THttpClient(int idleLimitMs) : m_socket(idleLimitMs), m_context(std::make_unique<QObject>())
{
    m_socket.OnConnected = [this] { connected(); };
    m_socket.OnReceived = [this](const QByteArray& data) { received(data); };
    m_socket.OnClosed = [this] {
        if (m_running)
            endOfConnection();
    };
    m_socket.OnFailed = [this](const QString& text) { fail(text); };
}

THttpClient::~THttpClient()
{
    if (m_waiting > 0 || m_socket.Dispatching())
        qFatal("THttpClient destroyed while a Get waits or inside its own event");
    Cancel();
}

QString THttpClient::StatusLine() const
{
    const qsizetype end = m_header.indexOf('\n');
    return QString::fromLatin1(lineText(end < 0 ? m_header : m_header.left(end + 1)));
}

// --- starting and ending -----------------------------------------------------------------------------

void THttpClient::Get(const QString& url)
{
    Start(url);
    const std::uint64_t request = m_request;
    ++m_waiting;
    {
        // Wakes the wait at least every 2 ms, so that every turn lets window messages run.
        QTimer turn;
        turn.start(2);
        while (request == m_request && m_running) {
            pumpMessages();
            if (request == m_request && m_running)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    --m_waiting;
    if (request != m_request)
        return; // taken over or cancelled
    if (m_handlerError)
        std::rethrow_exception(std::exchange(m_handlerError, nullptr));
    if (!m_error.isEmpty())
        throw Error(m_error);
}

void THttpClient::Start(const QString& url)
{
    if (m_socket.Connected())
        throw Error(QStringLiteral("Bereits verbunden"));
    // A request that has lost its connection and waits for its end is taken over.
    ++m_request;
    m_running = false;
    m_stage = Stage::Idle;
    m_aborted = false;
    m_abortText.clear();
    m_error.clear();
    m_handlerError = nullptr;
    m_repeats = 0;
    m_url = url;
    parseAddress();
    m_referer = m_session ? m_session->refererFor(requestUrl()) : QString();
    const QString problem = requestProblem();
    if (!problem.isEmpty())
        throw Error(problem);
    m_running = true;
    connectNow();
}

void THttpClient::connectNow()
{
    resetResponse();
    m_stage = Stage::Connecting;
    m_socket.Connect(QString::fromLatin1(asciiHost(m_host)), quint16(m_port), m_tls);
}

void THttpClient::resetResponse()
{
    m_header.clear();
    m_headerBytes = 0;
    m_replyNumber = 0;
    m_contentLength = -1;
    m_body.clear();
    m_receivedBodyBytes = 0;
    m_setCookie.clear();
    m_location.clear();
    m_line.clear();
    m_lineCut = false;
    m_lastWasCR = false;
    m_statusLineTaken = false;
    m_disconnected = false;
}

void THttpClient::Disconnect()
{
    if (!m_running) {
        m_socket.Close();
        return;
    }
    if (m_stage != Stage::Header && m_stage != Stage::Body) {
        // Before the response there is nothing to take: the request ends quietly.
        Cancel();
        return;
    }
    m_socket.Close();
    m_disconnected = true;
    // Inside the packet event the response is taken as soon as the handler returns; elsewhere at the
    // next turn of the event loop.
    scheduleCheck();
}

void THttpClient::Abort()
{
    if (m_running && !m_aborted)
        m_abortText = abortText(); // the step the request is at when the user asks
    m_aborted = true;
    if (m_running)
        scheduleCheck();
}

void THttpClient::Cancel()
{
    if (!m_running && !m_socket.Connected())
        return;
    ++m_request;
    m_running = false;
    m_stage = Stage::Idle;
    m_socket.Close();
}

void THttpClient::scheduleCheck()
{
    QTimer::singleShot(0, m_context.get(), [this, request = m_request] {
        if (request != m_request || !m_running)
            return;
        if (m_aborted)
            fail(m_abortText);
        else if (m_disconnected)
            endOfConnection();
    });
}

QString THttpClient::abortText() const
{
    switch (m_socket.phase()) {
    case TSocketClient::Phase::Lookup:
        return QStringLiteral("Host-Lookup abgebrochen");
    case TSocketClient::Phase::Connecting:
    case TSocketClient::Phase::Handshake:
        return QStringLiteral("Verbindung abgebrochen");
    case TSocketClient::Phase::Open:
    case TSocketClient::Phase::None:
        break;
    }
    switch (m_stage) {
    case Stage::Idle:
    case Stage::Connecting:
        return QStringLiteral("Verbindung abgebrochen");
    case Stage::Header:
        return m_socket.Sending() ? QStringLiteral("Socket-send abgebrochen") : QStringLiteral("Socket-readln abgebrochen");
    case Stage::Body:
        break;
    }
    return QStringLiteral("Socket-Capture abgebrochen");
}

void THttpClient::fail(const QString& text)
{
    if (!m_running)
        return;
    m_error = text;
    finish();
}

void THttpClient::finish()
{
    m_running = false;
    m_stage = Stage::Idle;
    m_socket.Close();
    fire(OnDone, m_request);
}

bool THttpClient::fire(const std::function<void()>& handler, std::uint64_t request)
{
    if (handler) {
        // A copy, so that the handler may replace the event.
        const std::function<void()> copy = handler;
        try {
            copy();
        } catch (...) {
            // Nothing may pass into Qt's event loop: the request fails, and its Get throws it.
            if (request == m_request) {
                m_handlerError = std::current_exception();
                if (m_running)
                    fail(textOf(m_handlerError));
            }
            return false;
        }
    }
    return request == m_request && m_running;
}

// --- the address and the request ---------------------------------------------------------------------

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

    // A colon names a scheme only before the first slash: "/a:b" is a path.
    const qsizetype colon = m_url.indexOf(QLatin1Char(':'));
    if (colon >= 0 && (firstSlash < 0 || colon < firstSlash)) {
        const QString scheme = m_url.left(colon).toLower();
        m_tls = scheme == QLatin1String("https");
        if (m_tls)
            m_defaultPort = 443;
        else if (scheme == QLatin1String("gopher"))
            m_defaultPort = 70;
        else if (scheme == QLatin1String("ftp"))
            m_defaultPort = 21;
        else
            m_defaultPort = 80;
        m_port = m_defaultPort;
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

// An absolute Location is taken as it is; any other resolves against the current address.
QString THttpClient::redirectAddress(const QString& location) const
{
    if (location.contains(QLatin1String("://")))
        return QUrl(location).host().isEmpty() ? QString() : location;
    QString server = QString::fromLatin1(asciiHost(m_host));
    if (m_port != (m_tls ? 443 : 80))
        server += QLatin1Char(':') + QString::number(m_port);
    const QUrl base(QString::fromLatin1(m_tls ? "https://" : "http://") + server
                    + QString::fromLatin1(requestPath(m_path)));
    const QUrl next = base.resolved(QUrl(location));
    if (!next.isValid() || next.host().isEmpty())
        return {};
    return next.toString(QUrl::FullyEncoded);
}

QString THttpClient::requestProblem() const
{
    if (asciiHost(m_host).isEmpty())
        return QStringLiteral("Host-Lookup fehlgeschlagen");
    if (requestPath(m_path).size() + 13 > kMaxRequestLine)
        return QStringLiteral("Anfragezeile zu lang");
    return {};
}

QByteArray THttpClient::requestText() const
{
    QByteArray host = asciiHost(m_host);
    if (m_port != m_defaultPort)
        host += ':' + QByteArray::number(m_port);
    QByteArray text;
    text += "GET " + requestPath(m_path) + " HTTP/1.0\r\n";
    text += "Host: " + host + "\r\n";
    text += "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
    text += "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
    QByteArray cookies;
    if (m_session)
        cookies = m_session->cookieHeader(requestUrl());
    // The cookie a redirect of this request set goes to its host beside the browser's.
    if (!m_cookie.isEmpty() && m_cookieHost.compare(m_host, Qt::CaseInsensitive) == 0)
        cookies += (cookies.isEmpty() ? "" : "; ") + m_cookie;
    if (!cookies.isEmpty())
        text += "Cookie: " + cookies + "\r\n";
    // Never an https page to a plain-http address, as browsers do.
    if (!m_referer.isEmpty() && (m_tls || !m_referer.startsWith(QLatin1String("https:"))))
        text += "Referer: " + m_referer.toLatin1() + "\r\n";
    text += "Content-type: application/x-www-form-urlencoded\r\n";
    text += "\r\n";
    return text;
}

// The address of the request as it is now (after redirects), for the session's rules.
QUrl THttpClient::requestUrl() const
{
    QUrl url(QString::fromLatin1(m_tls ? "https://" : "http://") + QString::fromLatin1(asciiHost(m_host))
             + QString::fromLatin1(requestPath(m_path)));
    if (m_port != m_defaultPort)
        url.setPort(m_port);
    return url;
}

// --- the response ------------------------------------------------------------------------------------

void THttpClient::connected()
{
    if (!m_running)
        return;
    if (m_aborted) {
        fail(m_abortText);
        return;
    }
    m_stage = Stage::Header;
    m_socket.Send(requestText());
}

void THttpClient::received(const QByteArray& data)
{
    if (!m_running || m_stage == Stage::Connecting)
        return;
    if (m_aborted) {
        fail(m_abortText);
        return;
    }
    const std::uint64_t request = m_request;
    qint64 used = 0;
    if (m_stage == Stage::Header) {
        takeHeaderData(data.constData(), data.size(), used);
        if (request != m_request || !m_running || m_stage != Stage::Body)
            return;
    }
    if (used < data.size())
        takeBody(used == 0 ? data : data.mid(used));
}

// Splits data into header lines, each with its line end, as received; a line longer than the buffer
// keeps the buffer's size of text and its line end. used: the bytes taken, up to the header's end.
void THttpClient::takeHeaderData(const char* data, qint64 size, qint64& used)
{
    qint64 i = 0;
    while (i < size && m_stage == Stage::Header) {
        const char* begin = data + i;
        const qint64 available = size - i;
        const char* lf = static_cast<const char*>(std::memchr(begin, '\n', size_t(available)));
        const qint64 text = lf ? lf - begin : available;
        const qint64 taken = lf ? text + 1 : available;
        m_headerBytes += taken;
        if (m_headerBytes > kMaxHeaderSize) {
            fail(QStringLiteral("Header too large"));
            return;
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
            m_header += line;
            if (!m_statusLineTaken)
                takeStatusLine(line);
            else if (line == "\r\n" || line == "\n")
                m_stage = Stage::Body;
            else
                takeHeaderLine(line);
        }
    }
    used = i;
}

void THttpClient::takeStatusLine(const QByteArray& line)
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

void THttpClient::takeHeaderLine(const QByteArray& line)
{
    const QByteArray text = lineText(line);
    const qsizetype blank = text.indexOf(' ');
    const QByteArray name = (blank < 0 ? text : text.left(blank)).toUpper();
    const QByteArray value = withoutControls(text.mid(name.size() + 1));
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
    }
}

void THttpClient::takeBody(const QByteArray& data)
{
    m_receivedBodyBytes += data.size();
    const qint64 keep = std::min(qint64(data.size()), kMaxKeptBody - qint64(m_body.size()));
    if (keep > 0)
        m_body.append(data.constData(), keep);
    const std::uint64_t request = m_request;
    if (fire(OnPacketRecvd, request) && m_disconnected)
        endOfConnection();
}

void THttpClient::endOfConnection()
{
    m_disconnected = false;
    m_socket.Close();
    // A header cut short by the end of the connection keeps its last piece.
    if (m_stage == Stage::Header && !m_line.isEmpty()) {
        const QByteArray line = std::exchange(m_line, {});
        m_header += line;
        if (!m_statusLineTaken)
            takeStatusLine(line);
        else
            takeHeaderLine(line);
    }
    m_stage = Stage::Idle;

    const std::uint64_t request = m_request;
    if (m_replyNumber < 299) {
        if (fire(OnSuccess, request))
            finish();
        return;
    }
    if (m_replyNumber >= 300 && m_replyNumber <= 399) {
        if (!m_setCookie.isEmpty()) {
            m_cookieHost = m_host;
            m_cookie = m_setCookie;
        }
        // Any other 3xx, or one without a usable Location, ends the request at once.
        const QString next = followsLocation(m_replyNumber) && !m_location.isEmpty() ? redirectAddress(m_location)
                                                                                      : QString();
        if (!next.isEmpty() && m_repeats < kMaxRepeats) {
            ++m_repeats;
            m_url = next;
            parseAddress();
            const QString problem = requestProblem();
            if (!problem.isEmpty()) {
                fail(problem);
                return;
            }
            connectNow();
            return;
        }
    }
    finish();
}

} // namespace pxt
