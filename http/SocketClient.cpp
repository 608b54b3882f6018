#include "http/SocketClient.h"

#include "http/SocketErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pxt {

namespace {

constexpr int kTimedOut = 10060;
constexpr int kReset = 10054;
constexpr int kAccess = 10013;
constexpr int kTooManyFiles = 10024;

QList<QSslCertificate> certificatesOf(const QString& path)
{
    if (QFileInfo(path).isDir())
        return QSslCertificate::fromPath(QDir(path).filePath(QStringLiteral("*")), QSsl::Pem,
                                         QSslCertificate::PatternSyntax::Wildcard);
    return QSslCertificate::fromPath(path, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
}

} // namespace

// OpenSSL's SSL_CERT_FILE and SSL_CERT_DIR are how a user (or a test) adds a CA of their own; Qt's
// loading of the system store is not relied on for them, so they are added here. Made anew only when
// they change.
QSslConfiguration tlsConfiguration()
{
    static QString madeFor;
    static QSslConfiguration made;
    const QString key = qEnvironmentVariable("SSL_CERT_FILE") + QLatin1Char('\n') + qEnvironmentVariable("SSL_CERT_DIR");
    if (key == madeFor && !made.isNull())
        return made;
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    QList<QSslCertificate> extra;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty())
        extra += certificatesOf(file);
    for (const QString& dir : qEnvironmentVariable("SSL_CERT_DIR").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        extra += certificatesOf(dir);
    if (!extra.isEmpty()) {
        // Setting the list ends Qt's loading of the system store on demand, so the store comes first.
        static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        conf.setCaCertificates(system + extra);
    }
    madeFor = key;
    made = conf;
    return conf;
}

QString CertificateRefusedText(const QString& host, const QString& reason)
{
    return QStringLiteral("Zertifikat von %1 abgelehnt: %2").arg(host, reason);
}

QString TlsFailedText(const QString& host, const QString& reason)
{
    return QStringLiteral("TLS-Verbindung zu %1 fehlgeschlagen: %2").arg(host, reason);
}

// Counts the events on the stack, so that sockets are freed only outside them.
class SocketClient::Dispatch {
public:
    explicit Dispatch(SocketClient& c) : m_c(c) { ++m_c.m_dispatching; }
    ~Dispatch()
    {
        if (--m_c.m_dispatching == 0 && !m_c.m_closed.empty())
            QTimer::singleShot(0, m_c.m_context.get(), [c = &m_c] { c->sweep(); });
    }
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

private:
    SocketClient& m_c;
};

SocketClient::SocketClient(int idleLimitMs)
    : m_idleLimitMs(idleLimitMs), m_context(std::make_unique<QObject>()), m_idle(std::make_unique<QTimer>())
{
    m_idle->setSingleShot(true);
    QObject::connect(m_idle.get(), &QTimer::timeout, m_context.get(), [this] {
        const Dispatch d(*this);
        failed(SocketErrorMessage(kTimedOut));
    });
}

SocketClient::~SocketClient()
{
    close();
    m_closed.clear();
}

void SocketClient::sweep()
{
    if (m_dispatching == 0)
        m_closed.clear();
}

SocketClient::Phase SocketClient::phase() const
{
    if (!m_socket)
        return Phase::None;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
        return Phase::Lookup;
    case QAbstractSocket::ConnectedState:
        return m_tls && !m_encrypted ? Phase::Handshake : Phase::Open;
    default:
        return Phase::Connecting;
    }
}

bool SocketClient::isSending() const
{
    return m_socket && (m_socket->bytesToWrite() > 0 || m_socket->encryptedBytesToWrite() > 0);
}

void SocketClient::restartIdle()
{
    if (m_idleLimitMs > 0 && m_socket)
        m_idle->start(m_idleLimitMs);
    else
        m_idle->stop();
}

void SocketClient::connectTo(const QString& host, quint16 port, bool tls)
{
    close();
    ++m_connection;
    m_host = host;
    m_tls = tls;
    m_encrypted = false;
    m_socket = std::make_unique<QSslSocket>();
    wire();
    restartIdle();
    if (tls) {
        m_socket->setSslConfiguration(tlsConfiguration());
        m_socket->connectToHostEncrypted(host, port);
    } else {
        m_socket->connectToHost(host, port);
    }
}

void SocketClient::wire()
{
    QSslSocket* s = m_socket.get();
    QObject* ctx = m_context.get();
    QObject::connect(s, &QAbstractSocket::connected, ctx, [this] {
        const Dispatch d(*this);
        watch();
        restartIdle();
        if (!m_tls && onConnected)
            onConnected();
    });
    QObject::connect(s, &QSslSocket::encrypted, ctx, [this] {
        const Dispatch d(*this);
        m_encrypted = true;
        restartIdle();
        if (onConnected)
            onConnected();
    });
    QObject::connect(s, &QSslSocket::sslErrors, ctx, [this](const QList<QSslError>& errors) {
        const Dispatch d(*this);
        failed(CertificateRefusedText(m_host, errors.isEmpty() ? QString() : errors.first().errorString()));
    });
    QObject::connect(s, &QIODevice::readyRead, ctx, [this] {
        const Dispatch d(*this);
        received();
    });
    QObject::connect(s, &QIODevice::bytesWritten, ctx, [this] { restartIdle(); });
    QObject::connect(s, &QAbstractSocket::disconnected, ctx, [this] {
        const Dispatch d(*this);
        closedByServer();
    });
    QObject::connect(s, &QAbstractSocket::errorOccurred, ctx, [this](QAbstractSocket::SocketError error) {
        const Dispatch d(*this);
        const Phase at = phase();
        const QString reason = m_socket ? m_socket->errorString() : QString();
        switch (error) {
        case QAbstractSocket::RemoteHostClosedError:
            if (at == Phase::Handshake || (m_tls && !m_encrypted))
                failed(TlsFailedText(m_host, reason));
            else if (wasReset())
                failed(SocketErrorMessage(kReset));
            else
                closedByServer();
            return;
        case QAbstractSocket::HostNotFoundError:
            failed(QStringLiteral("Host-Lookup fehlgeschlagen"));
            return;
        case QAbstractSocket::SocketTimeoutError:
            failed(SocketErrorMessage(kTimedOut));
            return;
        case QAbstractSocket::SslHandshakeFailedError:
        case QAbstractSocket::SslInternalError:
        case QAbstractSocket::SslInvalidUserDataError:
            failed(TlsFailedText(m_host, reason));
            return;
        case QAbstractSocket::SocketAccessError:
            failed(SocketErrorMessage(kAccess));
            return;
        case QAbstractSocket::SocketResourceError:
            failed(SocketErrorMessage(kTooManyFiles));
            return;
        default:
            break;
        }
        if (at == Phase::Lookup || at == Phase::Connecting)
            failed(QStringLiteral("Verbindung fehlgeschlagen"));
        else
            failed(SocketErrorMessage(kReset));
    });
}

// Qt reports a reset as the server's end of the connection and closes its descriptor at once; a
// duplicate of it keeps the TCP state readable: closed after a reset, half-closed after an orderly end.
bool SocketClient::wasReset() const
{
    if (m_watch < 0)
        return false;
    tcp_info info {};
    socklen_t length = sizeof info;
    return ::getsockopt(m_watch, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_CLOSE;
}

void SocketClient::watch()
{
    const qintptr fd = m_socket ? m_socket->socketDescriptor() : -1;
    if (m_watch < 0 && fd >= 0)
        m_watch = ::fcntl(int(fd), F_DUPFD_CLOEXEC, 0);
}

void SocketClient::received()
{
    if (!m_socket)
        return;
    restartIdle();
    const QByteArray data = m_socket->readAll();
    if (!data.isEmpty() && onReceived)
        onReceived(data);
}

void SocketClient::closedByServer()
{
    if (!m_socket)
        return;
    // What arrived with the end of the connection comes first.
    const std::uint64_t connection = m_connection;
    received();
    if (!m_socket || m_connection != connection)
        return;
    close();
    if (onClosed)
        onClosed();
}

void SocketClient::failed(const QString& text)
{
    if (!m_socket)
        return;
    close();
    if (onFailed)
        onFailed(text);
}

void SocketClient::send(const QByteArray& data)
{
    if (m_socket)
        m_socket->write(data);
}

void SocketClient::close()
{
    m_idle->stop();
    if (!m_socket)
        return;
    QObject::disconnect(m_socket.get(), nullptr, m_context.get(), nullptr);
    m_socket->abort();
    if (m_watch >= 0)
        ::close(m_watch);
    m_watch = -1;
    m_closed.push_back(std::move(m_socket));
    if (m_dispatching == 0)
        QTimer::singleShot(0, m_context.get(), [this] { sweep(); });
}

} // namespace pxt
