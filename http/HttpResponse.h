#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace pxt {

// The response to one HTTP/1.0 request, taken as its bytes arrive in pieces of any size: the status
// line and header lines exactly as received, the values the client acts on, and the body as far as
// it is kept. No socket: the client feeds it what its connection receives.
class HttpResponse {
public:
    // A longer header line keeps this much of its text.
    static constexpr qint64 kBufferSize = 65536;
    // A header beyond this is an error.
    static constexpr qint64 kMaxHeaderSize = 1024 * 1024;
    // A longer body is still counted, but only this much is kept.
    static constexpr qint64 kMaxKeptBody = 64 * 1024 * 1024;
    // The values of Set-Cookie lines are cut to this.
    static constexpr int kMaxValueLength = 256;

    // Forgets everything: the next byte begins a new response.
    void clear() { *this = HttpResponse(); }

    // Takes header bytes up to and including the empty line that ends the header; used: the bytes
    // taken, the rest is body. False when the header grows beyond kMaxHeaderSize.
    bool takeHeader(const char* data, qint64 size, qint64& used);
    // The empty line has been taken: what follows is body.
    bool headerDone() const { return m_headerDone; }
    void takeBody(const char* data, qint64 size, qint64 keep = kMaxKeptBody);
    // The connection ended within the header: a line cut short by it is taken as it is.
    void endOfHeader();

    // The status line and header lines, each with its line end, up to and including the empty line.
    const QByteArray& header() const { return m_header; }
    // The status line without its line end.
    QByteArray statusLine() const;
    int replyNumber() const { return m_replyNumber; }
    // The value of the Content-Length line; -1 without one.
    qint64 contentLength() const { return m_contentLength; }
    // The media type of the Content-Type line, in lower case without its parameters; empty without one.
    const QString& contentType() const { return m_contentType; }
    const QByteArray& setCookie() const { return m_setCookie; }
    const QString& location() const { return m_location; }
    const QByteArray& body() const { return m_body; }
    qint64 receivedBodyBytes() const { return m_receivedBodyBytes; }

private:
    void takeLine(const QByteArray& line);
    void takeStatusLine(const QByteArray& line);
    void takeHeaderLine(const QByteArray& line);

    QByteArray m_line;
    bool m_lineCut = false;
    bool m_lastWasCR = false;
    bool m_statusLineTaken = false;
    bool m_headerDone = false;

    QByteArray m_header;
    qint64 m_headerBytes = 0;
    int m_replyNumber = 0;
    qint64 m_contentLength = -1;
    QString m_contentType;
    QByteArray m_setCookie;
    QString m_location;
    QByteArray m_body;
    qint64 m_receivedBodyBytes = 0;
};

} // namespace pxt
