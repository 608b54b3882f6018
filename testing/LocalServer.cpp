#include "testing/LocalServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <chrono>
#include <csignal>
#include <stdexcept>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pxt::test {

struct LocalServer::Tls {
    SSL_CTX* ctx = nullptr;
    explicit Tls(const TlsIdentity& id) : ctx(SSL_CTX_new(TLS_server_method()))
    {
        // A client that goes away in the middle of a write must not end the process.
        std::signal(SIGPIPE, SIG_IGN);
        if (!ctx || SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1
            || SSL_CTX_use_certificate_chain_file(ctx, id.certFile.toLocal8Bit().constData()) != 1
            || SSL_CTX_use_PrivateKey_file(ctx, id.keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1)
            throw std::runtime_error("LocalServer: the TLS identity cannot be used");
    }
    ~Tls() { SSL_CTX_free(ctx); }
    Tls(const Tls&) = delete;
    Tls& operator=(const Tls&) = delete;
};

// One accepted connection, plain or TLS. Every wait lasts at most a few milliseconds, so the server
// notices its stop.
class LocalServer::Connection {
public:
    Connection(int fd, SSL_CTX* ctx) : m_fd(fd)
    {
        if (!ctx)
            return;
        const timeval turn {0, 10000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &turn, sizeof turn);
        m_ssl = SSL_new(ctx);
        SSL_set_fd(m_ssl, fd);
    }
    ~Connection()
    {
        if (m_ssl) {
            if (!m_reset && m_ready)
                SSL_shutdown(m_ssl);
            SSL_free(m_ssl);
        }
        ::close(m_fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // False when the TLS handshake failed.
    bool handshake(const std::atomic<bool>& stop)
    {
        if (!m_ssl)
            return m_ready = true;
        while (!stop) {
            const int r = SSL_accept(m_ssl);
            if (r == 1)
                return m_ready = true;
            if (!retry(r))
                break;
        }
        ERR_clear_error();
        return false;
    }

    // The bytes received; 0 when the client has gone; -1 when nothing came within a turn.
    ssize_t receive(char* buf, size_t size)
    {
        if (!m_ssl || SSL_pending(m_ssl) == 0) {
            pollfd p {m_fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                return -1;
        }
        if (!m_ssl) {
            const ssize_t n = ::recv(m_fd, buf, size, 0);
            return n < 0 ? 0 : n;
        }
        const int n = SSL_read(m_ssl, buf, int(size));
        if (n > 0)
            return n;
        return retry(n) ? -1 : 0;
    }

    // False when the client has gone.
    bool sendAll(const char* data, qsizetype size)
    {
        while (size > 0) {
            const ssize_t n = m_ssl ? SSL_write(m_ssl, data, int(size)) : ::send(m_fd, data, size_t(size), MSG_NOSIGNAL);
            if (n <= 0) {
                if (m_ssl && retry(int(n)))
                    continue;
                return false;
            }
            data += n;
            size -= n;
        }
        return true;
    }

    // Ends the connection with a reset when it closes.
    void reset()
    {
        m_reset = true;
        linger l {1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }

private:
    bool retry(int r) const
    {
        const int e = SSL_get_error(m_ssl, r);
        return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE;
    }

    int m_fd;
    SSL* m_ssl = nullptr;
    bool m_ready = false;
    bool m_reset = false;
};

namespace {

QByteArray contentType(const QString& file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return "text/html";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "image/jpeg";
    if (suffix == QLatin1String("png") || suffix == QLatin1String("gif"))
        return "image/" + suffix.toLatin1();
    if (suffix == QLatin1String("js"))
        return "text/javascript";
    if (suffix == QLatin1String("css"))
        return "text/css";
    return "application/octet-stream";
}

} // namespace

QByteArray okResponse(const QByteArray& body, const QByteArray& type)
{
    QByteArray out = "HTTP/1.0 200 OK\r\n";
    if (!type.isEmpty())
        out += "Content-Type: " + type + "\r\n";
    return out + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray requestPath(const QByteArray& request)
{
    const qsizetype start = request.indexOf(' ') + 1;
    const qsizetype end = request.indexOf(' ', start);
    return start <= 0 || end < 0 ? QByteArray() : request.mid(start, end - start);
}

QByteArray requestHeader(const QByteArray& request, const QByteArray& name)
{
    for (const QByteArray& line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

Script serveFile(const QString& folder, const QByteArray& request)
{
    const QString path = QUrl::fromPercentEncoding(requestPath(request).split('?').first());
    const QString root = QDir(folder).canonicalPath();
    const QString file = QFileInfo(root + QLatin1Char('/') + path).canonicalFilePath();
    QFile f(file);
    if (file.isEmpty() || !file.startsWith(root + QLatin1Char('/')) || !f.open(QIODevice::ReadOnly))
        return {send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")};
    return {send(okResponse(f.readAll(), contentType(file)))};
}

sockaddr_in loopbackAddress(quint16 port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int loopbackSocket(quint16& port, int backlog)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = loopbackAddress(0);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (backlog >= 0)
        ::listen(s, backlog);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

LocalServer::LocalServer(Play play) : m_play(std::move(play)) { startAccepting(); }

LocalServer::LocalServer(Script script) : LocalServer([script](int, const QByteArray&) { return script; }) {}

LocalServer::LocalServer(Play play, const TlsIdentity& tls) : m_play(std::move(play)), m_tls(std::make_unique<Tls>(tls))
{
    startAccepting();
}

LocalServer::LocalServer(Script script, const TlsIdentity& tls)
    : LocalServer([script](int, const QByteArray&) { return script; }, tls)
{
}

void LocalServer::startAccepting()
{
    m_listen = loopbackSocket(m_port, 128);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

LocalServer::~LocalServer()
{
    m_stop = true;
    m_acceptor.join();
    {
        // A worker between its check and its wait holds the lock: it sees the stop or gets the wake.
        std::lock_guard lock(m_mutex);
    }
    m_queued.notify_all();
    // No new worker starts once the acceptor has ended.
    for (std::thread& t : m_workers)
        t.join();
    for (const auto& [fd, index] : m_queue)
        ::close(fd);
    ::close(m_listen);
}

std::unique_ptr<LocalServer> LocalServer::forFolder(const QString& folder)
{
    return std::make_unique<LocalServer>([folder](int, const QByteArray& r) { return serveFile(folder, r); });
}

QString LocalServer::url(const QString& path, const QString& host) const
{
    return QStringLiteral("%1://%2:%3%4").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"), host).arg(m_port).arg(path);
}

std::vector<QByteArray> LocalServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<QByteArray> LocalServer::requestLines() const
{
    std::vector<QByteArray> lines;
    for (const QByteArray& r : requests())
        lines.push_back(r.left(r.indexOf("\r\n")));
    return lines;
}

void LocalServer::acceptLoop()
{
    int index = 0;
    while (!m_stop) {
        pollfd p {m_listen, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back(fd, index++);
        if (qsizetype(m_queue.size()) > m_idle)
            m_workers.emplace_back([this] { workLoop(); });
        m_queued.notify_one();
    }
}

void LocalServer::workLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_queued.wait(lock, [this] { return stopped() || !m_queue.empty(); });
        --m_idle;
        if (stopped())
            return;
        const auto [fd, index] = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        serve(fd, index);
        lock.lock();
    }
}

void LocalServer::sleepFor(int ms) const
{
    for (int waited = 0; waited < ms && !stopped(); waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void LocalServer::serve(int fd, int index)
{
    Connection c(fd, m_tls ? m_tls->ctx : nullptr);
    if (!c.handshake(m_stop))
        return;
    QByteArray request;
    char buf[4096];
    while (!stopped() && !request.contains("\r\n\r\n")) {
        const ssize_t n = c.receive(buf, sizeof buf);
        if (n < 0)
            continue;
        if (n == 0)
            break;
        request.append(buf, n);
    }
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    bool open = true;
    for (const Step& step : m_play(index, request)) {
        if (!open || stopped())
            break;
        switch (step.kind) {
        case Step::Send:
            open = c.sendAll(step.data.constData(), step.data.size());
            break;
        case Step::Sleep:
            sleepFor(step.ms);
            break;
        case Step::Reset:
            c.reset();
            open = false;
            break;
        case Step::SendForever:
            while (open && !stopped())
                open = c.sendAll(step.data.constData(), step.data.size());
            break;
        case Step::Drip:
            for (qsizetype i = 0; open && i < step.data.size() && !stopped(); ++i) {
                open = c.sendAll(step.data.constData() + i, 1);
                sleepFor(step.ms);
            }
            break;
        case Step::Hold:
            while (!stopped() && c.receive(buf, sizeof buf) != 0) {
            }
            break;
        }
    }
}

} // namespace pxt::test
