#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class QSslConfiguration;
class QSslSocket;
class QTimer;

namespace pxt {

// The TLS settings of every connection the program makes itself: 1.2 or later, the peer verified
// against the system's trust store plus SSL_CERT_FILE and SSL_CERT_DIR.
QSslConfiguration tlsConfiguration();

// One TCP connection at a time, plain or TLS, driven by Qt's event loop: Connect starts the lookup,
// the connection and (for TLS) the handshake and returns at once; what happens later arrives through
// the events, from inside the event loop.
//
// TLS: 1.2 or later, the host name sent as SNI, the chain and the host name verified against the
// system's trust store plus the certificates named by SSL_CERT_FILE and SSL_CERT_DIR.
//
// Close is legal at any time, also from inside an event: the connection ends at once and gives no
// further event. Sockets are freed only when none of the events is running, never under Qt's feet.
class SocketClient {
public:
    // The connection's progress, as far as Abort tells the steps apart.
    enum class Phase { None, Lookup, Connecting, Handshake, Open };

    // idleLimitMs: a connection that receives no byte for this long fails with the time-out text;
    // 0 waits for good.
    explicit SocketClient(int idleLimitMs);
    ~SocketClient();
    SocketClient(const SocketClient&) = delete;
    SocketClient& operator=(const SocketClient&) = delete;

    int idleLimit() const { return m_idleLimitMs; }
    void setIdleLimit(int ms) { m_idleLimitMs = ms; }

    // The connection is ready for the request (for TLS: the handshake has ended and verified).
    std::function<void()> onConnected;
    // Bytes have arrived.
    std::function<void(const QByteArray&)> onReceived;
    // The server has ended the connection (after the last onReceived).
    std::function<void()> onClosed;
    // The connection failed; the text is what the user sees. The connection is closed by then.
    std::function<void(const QString&)> onFailed;

    void connectTo(const QString& host, quint16 port, bool tls);
    void send(const QByteArray& data);
    void close();

    // True from Connect until Close, a failure or the server's end of the connection.
    bool isConnected() const { return m_socket != nullptr; }
    Phase phase() const;
    // Part of what Send was given still waits to go out.
    bool isSending() const;

    // True while one of the events runs.
    bool isDispatching() const { return m_dispatching > 0; }

private:
    class Dispatch;
    void wire();
    void received();
    bool wasReset() const;
    void watch();
    void closedByServer();
    void failed(const QString& text);
    void restartIdle();
    void sweep();

    int m_idleLimitMs;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<QTimer> m_idle;
    std::unique_ptr<QSslSocket> m_socket;
    std::vector<std::unique_ptr<QSslSocket>> m_closed; // freed by sweep
    QString m_host;
    bool m_tls = false;
    bool m_encrypted = false;
    int m_dispatching = 0;
    std::uint64_t m_connection = 0; // counts Connect calls
    int m_watch = -1;               // a duplicate of the connection's descriptor
};

// The text of a refused certificate: names the host and the reason.
QString CertificateRefusedText(const QString& host, const QString& reason);
// The text of a TLS handshake that failed for another reason than the certificate.
QString TlsFailedText(const QString& host, const QString& reason);

} // namespace pxt
