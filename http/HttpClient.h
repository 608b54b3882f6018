#pragma once

#include "http/BrowserSession.h"
#include "http/HttpResponse.h"
#include "http/HttpTarget.h"
#include "http/SocketClient.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace pxt {

class BrowserSession;

// The HTTP/1.0 client of the size probe, for "http" and "https" addresses. A request is a state
// machine fed by its socket's events: Start begins one and returns at once; Get is Start followed by a
// wait that lets window messages run (pumpMessages) until that request has ended. One request at a
// time per client; several clients run side by side without nesting waits.
//
// Re-entry: Disconnect, Abort, Cancel and a new Get or Start are legal from inside the events and from
// anything a wait lets run. A request taken over by a newer one ends quietly: no further events, and
// its Get returns without an error. Destroying the client is legal at any time except from inside its
// own events or while a Get of it waits.
//
// Failures are pxt::Error with the texts the user sees: thrown by Get, or, for a started request, kept
// in ErrorText when onDone fires.
class HttpClient {
public:
    // A longer header line keeps this much of its text.
    static constexpr qint64 kBufferSize = HttpResponse::kBufferSize;
    // A header beyond this ends the request with "Header too large".
    static constexpr qint64 kMaxHeaderSize = HttpResponse::kMaxHeaderSize;
    // A longer body is still received and counted, but at most this much is kept.
    static constexpr qint64 kMaxKeptBody = HttpResponse::kMaxKeptBody;
    // Redirects of one request; after them it ends as an error status does.
    static constexpr int kMaxRepeats = 20;
    // The values of Set-Cookie lines are cut to this.
    static constexpr int kMaxValueLength = HttpResponse::kMaxValueLength;
    // A longer request line is an error.
    static constexpr int kMaxRequestLine = HttpTarget::kMaxRequestLine;
    // A request that receives no byte for this long ends with the time-out error.
    static constexpr int kDefaultIdleLimitMs = 30000;
    // A request, its redirects included, that has not ended after this long ends with the time-out
    // error too, however steadily its server trickles.
    static constexpr int kDefaultOverallLimitMs = 60000;

    explicit HttpClient(int idleLimitMs = kDefaultIdleLimitMs);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // The port of the request.
    int port() const { return m_target.port; }
    // Milliseconds without a byte from the server after which a request fails; 0 waits for good.
    int idleLimit() const { return m_socket.idleLimit(); }
    void setIdleLimit(int ms) { m_socket.setIdleLimit(ms); }
    // Milliseconds after its start after which a request fails; 0 waits for good.
    int overallLimit() const { return m_overallLimitMs; }
    void setOverallLimit(int ms) { m_overallLimitMs = ms; }
    // How much of a body is kept (Body); the rest is received and counted only.
    void setMaxKeptBody(qint64 bytes) { m_maxKeptBody = bytes; }

    // The browser session whose cookies and Referer the requests carry; null (the default): none.
    // A redirect's Set-Cookie is kept for the rest of that request only, by the same rules, and only
    // while the session is on. The session must outlive the client or be set back to null first.
    void setSession(const BrowserSession* session) { m_session = session; }

    // After each piece of the body has been added to Body; Header is complete by then.
    std::function<void()> onPacketReceived;
    // Once, when the request has ended with a reply number below 299; the connection is closed by then.
    std::function<void()> onSuccess;
    // Once, last, when a request has ended in any way but Cancel or being taken over.
    std::function<void()> onDone;

    // Performs a GET request for the address, following redirects, and returns when it has ended.
    void get(const QString& url);
    // Begins a GET request and returns at once; its events come from the event loop. Throws, without
    // any event, when the request cannot begin (still connected, request line too long).
    void start(const QString& url);
    // Closes the connection at once: the body reading ends and the response is taken as it is; Get
    // and Start may be called again.
    void disconnect();
    // The running request fails with the text of the step it is at, at the next turn of the event
    // loop; the next Get or Start clears it.
    void abort();
    // Ends the running request at once, without any further event.
    void cancel();
    bool isConnected() const { return m_socket.isConnected(); }
    // A request has begun and not yet ended.
    bool isBusy() const { return m_running; }

    // The request: the address as redirects left it, its host and path.
    QString url() const { return m_target.url; }
    QString host() const { return m_target.host; }
    QString path() const { return m_target.path; }

    // The response: the status line and header lines exactly as received, each with its line end, up
    // to and including the empty line; emptied at the start of each response.
    QString headerText() const { return QString::fromLatin1(m_response.header()); }
    int replyNumber() const { return m_response.replyNumber(); }
    // The status line without its line end.
    QString statusLine() const { return QString::fromLatin1(m_response.statusLine()); }
    // The value of the Content-Length line; -1 without one.
    qint64 contentLength() const { return m_response.contentLength(); }
    // The media type of the Content-Type line ("image/jpeg"); empty without one.
    QString contentType() const { return m_response.contentType(); }
    // The body as far as it is kept, and the number of body bytes received.
    const QByteArray& body() const { return m_response.body(); }
    qint64 receivedBodyBytes() const { return m_response.receivedBodyBytes(); }
    // The failure of the last request that ended; empty when it ended without one.
    QString errorText() const { return m_error; }

private:
    enum class Stage { Idle, Connecting, Header, Body };

    QByteArray requestText() const;
    void connectNow();
    void resetResponse();

    void connected();
    void received(const QByteArray& data);
    void takeBody(const char* data, qint64 size);
    void endOfConnection();
    void fail(const QString& text);
    void finish();
    QString abortText() const;
    void scheduleCheck();

    // Runs an event handler; false when the request was ended, taken over or disconnected meanwhile.
    bool fire(const std::function<void()>& handler, std::uint64_t request);

    SocketClient m_socket;
    std::unique_ptr<QObject> m_context;

    HttpTarget m_target;

    Stage m_stage = Stage::Idle;
    HttpResponse m_response;
    int m_repeats = 0;

    const BrowserSession* m_session = nullptr;
    // Taken from the session for the address Start was given; each address a redirect leads to gets
    // its Referer from it anew.
    BrowserSession::RefererSource m_refererSource;

    // The cookies the redirects of the running request set.
    CookieJar m_redirectCookies;
    int m_overallLimitMs = kDefaultOverallLimitMs;
    std::unique_ptr<QTimer> m_overall;
    qint64 m_maxKeptBody = kMaxKeptBody;

    // Counts the requests: an event of a request whose number is no longer the latest is dropped.
    std::uint64_t m_request = 0;
    bool m_running = false;
    bool m_aborted = false;
    QString m_abortText;
    bool m_disconnected = false;
    QString m_error;
    std::exception_ptr m_handlerError;
    int m_waiting = 0;
};

} // namespace pxt
