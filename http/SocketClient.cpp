#include "http/SocketClient.h"

#include "core/Error.h"
#include "core/Pump.h"
#include "http/SocketErrors.h"

#include <QUrl>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pxt {

namespace {

constexpr int kTurnMs = 2;
constexpr int kTimedOut = 10060;

struct Address {
    int family = 0;
    int protocol = 0;
    sockaddr_storage addr {};
    socklen_t length = 0;
};

// One name lookup. The worker thread owns a share of it, so a lookup that is given up (Abort, a
// replaced connection, the client destroyed) finishes in the background and frees itself.
struct Lookup {
    Lookup() : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Lookup()
    {
        if (wake >= 0)
            ::close(wake);
    }
    const int wake;
    std::atomic<bool> done {false};
    bool ok = false; // written before done
    std::vector<Address> addresses;
};

bool resolve(const QByteArray& host, quint16 port, int extraFlags, std::vector<Address>& out)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | extraFlags;
    addrinfo* result = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &result) != 0)
        return false;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Address a;
        a.family = ai->ai_family;
        a.protocol = ai->ai_protocol;
        a.length = ai->ai_addrlen;
        std::memcpy(&a.addr, ai->ai_addr, ai->ai_addrlen);
        out.push_back(a);
    }
    ::freeaddrinfo(result);
    return !out.empty();
}

// A host name as the resolver takes it: ASCII (international names in their ACE form) and nothing
// that could end a line or a field.
QByteArray resolverName(const QString& host)
{
    const QByteArray ace = QUrl::toAce(host);
    if (ace.isEmpty())
        return {};
    for (char c : ace) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f)
            return {};
    }
    return ace;
}

[[noreturn]] void throwSocketError(int err) { throw Error(SocketErrorMessage(SocketErrorFromErrno(err))); }

} // namespace

class TSocketClient::Deadline {
public:
    explicit Deadline(int seconds)
        : m_forever(seconds <= 0), m_end(std::chrono::steady_clock::now() + std::chrono::seconds(seconds))
    {
    }
    void check() const
    {
        if (!m_forever && std::chrono::steady_clock::now() >= m_end)
            throw Error(SocketErrorMessage(kTimedOut));
    }

private:
    bool m_forever;
    std::chrono::steady_clock::time_point m_end;
};

TSocketClient::~TSocketClient() { Close(); }

void TSocketClient::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ++m_epoch;
}

bool TSocketClient::Connect(const QString& host, quint16 port)
{
    Close();
    const std::uint64_t epoch = m_epoch;
    const QByteArray name = resolverName(host);
    if (name.isEmpty())
        throw Error(QStringLiteral("Host-Lookup fehlgeschlagen"));

    std::vector<Address> addresses;
    if (!resolve(name, port, AI_NUMERICHOST, addresses)) {
        auto lookup = std::make_shared<Lookup>();
        try {
            std::thread([lookup, name, port] {
                std::vector<Address> found;
                lookup->ok = resolve(name, port, 0, found);
                lookup->addresses = std::move(found);
                lookup->done.store(true, std::memory_order_release);
                if (lookup->wake >= 0) {
                    const std::uint64_t one = 1;
                    [[maybe_unused]] auto n = ::write(lookup->wake, &one, sizeof one);
                }
            }).detach();
        } catch (const std::system_error&) {
            throw Error(QStringLiteral("Host-Lookup fehlgeschlagen"));
        }
        const Deadline deadline(m_timeOut);
        for (;;) {
            pollfd p {lookup->wake, POLLIN, 0};
            ::poll(&p, lookup->wake >= 0 ? 1 : 0, kTurnMs);
            pumpMessages();
            if (m_aborted)
                throw Error(QStringLiteral("Host-Lookup abgebrochen"));
            if (m_epoch != epoch)
                return false;
            if (lookup->done.load(std::memory_order_acquire))
                break;
            deadline.check();
        }
        if (!lookup->ok)
            throw Error(QStringLiteral("Host-Lookup fehlgeschlagen"));
        addresses = std::move(lookup->addresses);
    }

    try {
        for (const Address& a : addresses) {
            if (connectTo(reinterpret_cast<const sockaddr*>(&a.addr), a.length, a.family, a.protocol, epoch))
                return true;
            if (m_epoch != epoch)
                return false;
        }
    } catch (...) {
        // A failed attempt leaves nothing open, unless a newer connection has taken the socket over.
        if (m_epoch == epoch)
            Close();
        throw;
    }
    throw Error(QStringLiteral("Verbindung fehlgeschlagen"));
}

// One address: true when connected; false when it failed (the next address may be tried) or the
// attempt was closed or replaced meanwhile (the caller tells the two apart by the epoch).
bool TSocketClient::connectTo(const sockaddr* addr, unsigned addrLen, int family, int protocol, std::uint64_t epoch)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        throwSocketError(errno);
    m_fd = fd;
    if (::connect(fd, addr, addrLen) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR) {
        ::close(fd);
        m_fd = -1;
        return false;
    }
    const Deadline deadline(m_timeOut);
    for (;;) {
        pollfd p {fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, kTurnMs);
        pumpMessages();
        if (m_aborted)
            throw Error(QStringLiteral("Verbindung abgebrochen"));
        if (m_epoch != epoch)
            return false;
        if (ready > 0 && p.revents != 0) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            if (err == 0)
                return true;
            ::close(fd);
            m_fd = -1;
            return false;
        }
        deadline.check();
    }
}

bool TSocketClient::Send(const QByteArray& data)
{
    const std::uint64_t epoch = m_epoch;
    qint64 sent = 0;
    const Deadline deadline(m_timeOut);
    while (sent < data.size()) {
        if (m_fd < 0 || m_epoch != epoch)
            return false;
        const ssize_t n = ::send(m_fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n >= 0) {
            sent += n;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            throwSocketError(errno);
        pollfd p {m_fd, POLLOUT, 0};
        ::poll(&p, 1, kTurnMs);
        pumpMessages();
        if (m_aborted)
            throw Error(QStringLiteral("Socket-send abgebrochen"));
        deadline.check();
    }
    return true;
}

qint64 TSocketClient::Receive(char* buffer, qint64 size, const QString& abortText)
{
    const std::uint64_t epoch = m_epoch;
    const Deadline deadline(m_timeOut);
    for (;;) {
        if (m_fd < 0 || m_epoch != epoch)
            return 0;
        pollfd p {m_fd, POLLIN, 0};
        ::poll(&p, 1, kTurnMs);
        pumpMessages();
        if (m_aborted)
            throw Error(abortText);
        if (m_fd < 0 || m_epoch != epoch)
            return 0;
        const ssize_t n = ::recv(m_fd, buffer, size_t(size), MSG_DONTWAIT);
        if (n >= 0)
            return n;
        if (errno == ENOTCONN)
            return 0;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            throwSocketError(errno);
        deadline.check();
    }
}

} // namespace pxt
