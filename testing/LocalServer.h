#pragma once

// The one local HTTP server of tests and benchmarks, on 127.0.0.1 at a port the system picks. Each
// connection is served on a worker thread of its own (an idle one is reused), so the server answers
// while the test's own thread waits and many connections can be held at once: it records each request
// and plays a script of sends, pauses, drips and resets for it, or serves the files of a folder. Given
// a TLS identity it speaks HTTPS (OpenSSL, TLS 1.2 or later).

#include <QByteArray>
#include <QString>

#include "testing/TestPki.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct sockaddr_in;

namespace pxt::test {

// One thing the server does on a connection.
struct Step {
    enum Kind { Send, Sleep, Reset, SendForever, Drip, Hold } kind;
    QByteArray data;
    int ms = 0;
};
using Script = std::vector<Step>;

inline Step send(const QByteArray& data) { return {Step::Send, data, 0}; }
inline Step pause(int ms) { return {Step::Sleep, {}, ms}; }
inline Step reset() { return {Step::Reset, {}, 0}; }
// Sends data again and again until the client goes away.
inline Step sendForever(const QByteArray& data) { return {Step::SendForever, data, 0}; }
// Sends data one byte at a time, ms apart.
inline Step drip(const QByteArray& data, int ms) { return {Step::Drip, data, ms}; }
// Keeps the connection open until the client closes it.
inline Step hold() { return {Step::Hold, {}, 0}; }

// A complete HTTP/1.0 response with a Content-Length.
QByteArray okResponse(const QByteArray& body, const QByteArray& contentType = {});

class LocalServer {
public:
    // The script for a connection: its number from 0 and the request's bytes.
    using Play = std::function<Script(int index, const QByteArray& request)>;

    explicit LocalServer(Play play);
    // One script for every connection.
    explicit LocalServer(Script script);
    // Over TLS with the given certificate.
    LocalServer(Play play, const TlsIdentity& tls);
    LocalServer(Script script, const TlsIdentity& tls);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Serves the files of a folder: 200 with the file and its type, 404 for anything else.
    static std::unique_ptr<LocalServer> forFolder(const QString& folder);

    quint16 port() const { return m_port; }
    bool tls() const { return m_tls != nullptr; }
    // "http://host:port" + path ("https://" over TLS).
    QString url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const;
    std::vector<QByteArray> requests() const;
    // The first line of each request.
    std::vector<QByteArray> requestLines() const;

private:
    struct Tls;
    class Connection;
    void startAccepting();
    void acceptLoop();
    void workLoop();
    void serve(int fd, int index);
    void sleepFor(int ms) const;
    bool stopped() const { return m_stop.load(); }

    Play m_play;
    std::unique_ptr<Tls> m_tls;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop {false};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::pair<int, int>> m_queue; // accepted connections and their numbers, not yet served
    int m_idle = 0;                          // workers waiting for a connection
    std::vector<std::thread> m_workers;
    std::vector<QByteArray> m_requests;
};

// The script of a folder's file server for a request.
Script serveFile(const QString& folder, const QByteArray& request);

// The path of a request line ("GET /a/b.jpg?x HTTP/1.1" gives "/a/b.jpg?x").
QByteArray requestPath(const QByteArray& request);
// The value of the request's first header line of that name (any case); empty without one.
QByteArray requestHeader(const QByteArray& request, const QByteArray& name);

// A socket address on 127.0.0.1.
sockaddr_in loopbackAddress(quint16 port);
// A TCP socket bound to 127.0.0.1, listening with the given backlog unless it is negative; port is
// set to the port it got.
int loopbackSocket(quint16& port, int backlog);

} // namespace pxt::test
