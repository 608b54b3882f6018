#pragma once

// A scripted HTTP server on 127.0.0.1 for the tests: records each request and plays a script of
// sends, pauses, drips and resets on its connection.

#include "tests/support/Loopback.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pxt::test {

// One thing a scripted server does on a connection.
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

inline QByteArray okResponse(const QByteArray& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// An HTTP server on 127.0.0.1 that records each request and answers it with the script that play
// gives for it (the connection's number from 0, and the request bytes). Closes after the script.
class ScriptedServer {
public:
    using Play = std::function<Script(int index, const QByteArray& request)>;

    explicit ScriptedServer(Play play) : m_play(std::move(play))
    {
        m_listen = loopbackSocket(m_port, 64);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }
    // One script for every connection.
    explicit ScriptedServer(Script script) : ScriptedServer([script](int, const QByteArray&) { return script; }) {}

    ~ScriptedServer()
    {
        m_stop = true;
        m_acceptor.join();
        std::lock_guard lock(m_mutex);
        for (std::thread& t : m_workers)
            t.join();
        ::close(m_listen);
    }

    quint16 port() const { return m_port; }
    QString url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const
    {
        return QStringLiteral("http://%1:%2%3").arg(host).arg(m_port).arg(path);
    }
    std::vector<QByteArray> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    // The first line of each request.
    std::vector<QByteArray> requestLines() const
    {
        std::vector<QByteArray> lines;
        for (const QByteArray& r : requests())
            lines.push_back(r.left(r.indexOf("\r\n")));
        return lines;
    }

private:
    void acceptLoop()
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
            m_workers.emplace_back([this, fd, i = index++] { serve(fd, i); });
        }
    }

    bool stopped() const { return m_stop.load(); }

    void sleepFor(int ms) const
    {
        for (int waited = 0; waited < ms && !stopped(); waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // False when the client has gone.
    static bool sendAll(int fd, const char* data, qsizetype size)
    {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= n;
        }
        return true;
    }

    void serve(int fd, int index)
    {
        QByteArray request;
        char buf[4096];
        while (!stopped() && !request.contains("\r\n\r\n")) {
            pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
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
                open = sendAll(fd, step.data.constData(), step.data.size());
                break;
            case Step::Sleep:
                sleepFor(step.ms);
                break;
            case Step::Reset: {
                linger l {1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                open = false;
                break;
            }
            case Step::SendForever:
                while (open && !stopped())
                    open = sendAll(fd, step.data.constData(), step.data.size());
                break;
            case Step::Drip:
                for (qsizetype i = 0; open && i < step.data.size() && !stopped(); ++i) {
                    open = sendAll(fd, step.data.constData() + i, 1);
                    sleepFor(step.ms);
                }
                break;
            case Step::Hold:
                while (!stopped()) {
                    pollfd p {fd, POLLIN, 0};
                    if (::poll(&p, 1, 10) > 0 && ::recv(fd, buf, sizeof buf, 0) <= 0)
                        break;
                }
                break;
            }
        }
        ::close(fd);
    }

    Play m_play;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop {false};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<QByteArray> m_requests;
};

} // namespace pxt::test
