#pragma once

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>

class QEventLoop;
class QUrl;
class QWebSocket;

namespace pxt {

// The WebSocket of a browser's remote protocol (DevTools, WebDriver BiDi): JSON commands with an id
// and their answers. One command at a time, waited for in a local event loop that takes no user
// input; a message without an id goes to onMessage. A failure of the connection is kept for good:
// every later command fails with it at once. Failures throw Error with the reason alone.
class CommandSocket {
public:
    CommandSocket();
    ~CommandSocket();
    CommandSocket(const CommandSocket&) = delete;
    CommandSocket& operator=(const CommandSocket&) = delete;

    // Starts connecting and returns; no proxy, and no Origin header (browsers accept such clients
    // without being told about them). Throws Error for anything but a ws:// or wss:// address.
    void open(const QString& address);
    // Waits for the connection until the deadline; timeoutText is the failure when it runs out.
    void waitOpen(const QDeadlineTimer& deadline, const QString& timeoutText);
    bool isOpen() const;

    // Sends the command with the next id and returns its whole answer (the message with that id).
    QJsonObject send(QJsonObject command, const QDeadlineTimer& deadline, const QString& timeoutText);

    // Makes the failure the connection's, for good.
    void fail(const QString& reason);

    // A message without an id: the protocol's events.
    std::function<void(const QJsonObject& message)> onMessage;

    // A longer message fails the connection: a page of 10,000 thumbnails is some 3 MB.
    static constexpr qint64 kMaxMessageBytes = 256LL * 1024 * 1024;
    void setMaxMessageBytes(qint64 bytes) { m_maxMessageBytes = bytes; }

private:
    void wait(const std::function<bool()>& done, const QDeadlineTimer& deadline, const QString& timeoutText);
    void wake();

    std::unique_ptr<QWebSocket> m_socket;
    qint64 m_maxMessageBytes = kMaxMessageBytes;
    int m_nextId = 1;
    int m_waitingFor = 0;
    QJsonObject m_answer;
    bool m_answered = false;
    QString m_failure;
    QEventLoop* m_loop = nullptr; // the loop waiting now
};

} // namespace pxt
