#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

struct sockaddr;

namespace pxt {

// A plain TCP client socket for the user-interface thread: non-blocking, and every turn of a wait is a
// poll of at most 2 ms followed by pumpMessages(), so the windows stay responsive and the user's
// commands run during a wait. Those commands may Abort, Close, or even Connect anew: a wait whose
// connection has been closed or replaced meanwhile ends quietly (false, or 0 bytes received); after
// Abort the next turn of a wait fails with the text the operation names.
class TSocketClient {
public:
    TSocketClient() = default;
    ~TSocketClient();
    TSocketClient(const TSocketClient&) = delete;
    TSocketClient& operator=(const TSocketClient&) = delete;

    // Seconds a single wait may last; 0 waits until the operation ends or is aborted.
    int TimeOut() const { return m_timeOut; }
    void setTimeOut(int seconds) { m_timeOut = seconds; }

    // True from the moment a socket exists for a connection until Close.
    bool Connected() const { return m_fd >= 0; }

    // Looks the host up (a numeric address directly, a name on a worker thread) and connects to the
    // first of its addresses that accepts. False when the attempt was closed or replaced meanwhile.
    bool Connect(const QString& host, quint16 port);

    // Sends all of data. False when the connection was closed or replaced meanwhile.
    bool Send(const QByteArray& data);

    // Receives at most size bytes. 0 at the end of the connection, or when the connection is gone or
    // was replaced; after Abort it fails with abortText.
    qint64 Receive(char* buffer, qint64 size, const QString& abortText);

    // Closes the connection at once; the next Connect starts afresh.
    void Close();

    void Abort() { m_aborted = true; }
    void ClearAbort() { m_aborted = false; }
    bool Aborted() const { return m_aborted; }

private:
    class Deadline;
    bool connectTo(const ::sockaddr* addr, unsigned addrLen, int family, int protocol, std::uint64_t epoch);

    int m_fd = -1;
    // Changes with every Close and every Connect, so that a wait can tell its connection is gone.
    std::uint64_t m_epoch = 0;
    bool m_aborted = false;
    int m_timeOut = 0;
};

} // namespace pxt
