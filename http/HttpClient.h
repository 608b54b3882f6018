#pragma once

#include "http/SocketClient.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace pxt {

// The small blocking HTTP/1.0 client of the size probe. Get returns when the request has ended; while
// it waits, window messages run (pumpMessages), and its events fire from inside it.
//
// Re-entry: Disconnect, Abort and a new Get are legal from inside the events and from anything the
// waits let run. A Get that was taken over by a newer one ends quietly as soon as control comes back
// to it: no further events, no repeat. Destroying the client while a Get runs (from inside its own
// event or from a handler a wait let run) is not allowed.
//
// Failures are pxt::Error with the texts the user sees.
class THttpClient {
public:
    // Received data pass through this buffer; a longer header line is cut to it.
    static constexpr qint64 kBufferSize = 65536;
    // A header beyond this ends the request with "Header too large".
    static constexpr qint64 kMaxHeaderSize = 1024 * 1024;
    // A longer body is still received and counted, but only this much is kept.
    static constexpr qint64 kMaxKeptBody = 64 * 1024 * 1024;
    // Repeats and redirects of one Get; after them the Get ends as an error status does.
    static constexpr int kMaxRepeats = 20;
    // Request paths and the values of Location and Set-Cookie lines are cut to this.
    static constexpr int kMaxValueLength = 256;

    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // The port of the next request: 0 becomes 80; a scheme or a port in the address replaces it, and
    // it keeps the last one taken, so that an address made only of a path goes to the same server.
    int Port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    // Seconds a single wait may last; 0 (the default) waits until the operation ends or is aborted.
    int TimeOut() const { return m_socket.TimeOut(); }
    void setTimeOut(int seconds) { m_socket.setTimeOut(seconds); }

    // After each piece of the body has been added to Body; Header is complete by then.
    std::function<void()> OnPacketRecvd;
    // Once, when the request has ended with a reply number below 299; the connection is closed by then.
    std::function<void()> OnSuccess;

    // Performs a GET request for the address, following redirects, and returns when it has ended.
    void Get(const QString& url);
    // Closes the connection at once: the body reading ends, and Get may be called again.
    void Disconnect();
    // The running wait fails at its next turn; the next Get clears it.
    void Abort();
    bool Connected() const { return m_socket.Connected(); }

    // The request: the address as redirects left it, its host and path.
    QString URL() const { return m_url; }
    QString Host() const { return m_host; }
    QString Path() const { return m_path; }

    // The response: the status line and header lines exactly as received, each with its line end, up
    // to and including the empty line; emptied at the start of each response.
    QString Header() const { return QString::fromLatin1(m_header); }
    int ReplyNumber() const { return m_replyNumber; }
    // The value of the Content-Length line; -1 without one.
    qint64 ContentLength() const { return m_contentLength; }
    // The body as far as it is kept, and the number of body bytes received.
    const QByteArray& Body() const { return m_body; }
    qint64 ReceivedBodyBytes() const { return m_receivedBodyBytes; }

private:
    void request(std::uint64_t generation);
    void parseAddress();
    QString redirectAddress(const QString& location) const;
    QByteArray requestText() const;
    void readResponse(std::uint64_t generation);
    bool readLine(QByteArray& line, std::uint64_t generation);
    void takeHeaderLine(const QByteArray& line);
    void takeBody(const char* data, qint64 size, std::uint64_t generation);

    TSocketClient m_socket;
    std::unique_ptr<char[]> m_buffer;
    qint64 m_bufferStart = 0;
    qint64 m_bufferEnd = 0;
    bool m_endOfConnection = false;

    int m_port = 0;
    QString m_url;
    QString m_host;
    QString m_path;

    QByteArray m_header;
    qint64 m_headerBytes = 0;
    int m_replyNumber = 0;
    qint64 m_contentLength = -1;
    QByteArray m_body;
    qint64 m_receivedBodyBytes = 0;
    QByteArray m_setCookie;
    QString m_location;

    // The cookie a redirect set, and the host that set it: it goes to that host only.
    QString m_cookieHost;
    QByteArray m_cookie;

    // Counts the Get calls: a Get whose number is no longer the latest has been taken over.
    std::uint64_t m_generation = 0;
    int m_running = 0;
};

} // namespace pxt
