#pragma once

#include "browser/CommandSocket.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>

namespace pxt {

// One DevTools WebSocket, to a page or to the browser. Commands go one at a time, each waited for in
// a local event loop that takes no user input; the events that come meanwhile go to onEvent. All
// commands of one connection share one deadline, counted from its making. A failure of any kind
// throws Error with the reason alone: the caller names what it was reading.
class DevToolsConnection {
public:
    explicit DevToolsConnection(int timeoutMs);
    ~DevToolsConnection();
    DevToolsConnection(const DevToolsConnection&) = delete;
    DevToolsConnection& operator=(const DevToolsConnection&) = delete;

    // Connects to a ws:// or wss:// address. No Origin header is sent: the browser accepts such clients
    // without --remote-allow-origins.
    void open(const QString& address);
    // Sends the command (to the session, when one is given) and returns the "result" of its answer.
    QJsonObject call(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {});

    // Every message without an id: the protocol's events.
    std::function<void(const QJsonObject& event)> onEvent;

    // The longest message taken: a page of 10,000 thumbnails is some 3 MB. A longer one ends the
    // connection, and the command waiting fails.
    static constexpr qint64 kMaxMessageBytes = CommandSocket::kMaxMessageBytes;
    // A smaller limit (tests); takes effect at the next open().
    void setMaxMessageBytes(qint64 bytes) { m_socket.setMaxMessageBytes(bytes); }

private:
    QString timeoutText() const;

    CommandSocket m_socket;
    QDeadlineTimer m_deadline;
    int m_timeoutMs;
};

// Evaluates an expression whose value is a string (or a promise of one) in an isolated world of the
// target's main frame: nothing is added to the page's own world, and what the page changed of the
// built-ins does not reach the expression. The session may be empty on a page's own connection.
QString evaluateStringInIsolatedWorld(DevToolsConnection& connection, const QString& sessionId,
                                      const QString& expression);

// The serializer's JSON of the target's page, its frames of another origin included (readFramedJson):
// the serializer (called with frameSlots) runs in an isolated world of the main frame; each frame it
// could not read is read the same way in a world of its own, through the session of its own target
// where the browser runs it in another process (Target.setAutoAttach, flatten).
QString readDocumentJson(DevToolsConnection& connection, const QString& sessionId,
                         const std::function<QString(int lazyWaitMs)>& serializerCall, int lazyWaitMs);

} // namespace pxt
