#pragma once

#include "browser/CommandSocket.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>

namespace pxt {

// One WebDriver BiDi WebSocket to a browser (Firefox's ws://host:port/session). Commands go one at a
// time, each waited for in a local event loop that takes no user input; events are dropped. All
// commands share one deadline, given at the making. A failure of any kind throws Error with the reason
// alone: the caller names what it was reading.
//
// The browser allows one session at a time, and one that is not ended stays open after its connection
// is gone, also one whose session.new was still under way. So a session is opened for one piece of work
// and ended right after: session.new is always waited for (kSessionWaitMs at least, however little is
// left of the deadline: a fresh Firefox loading a large page takes seconds for its first session), and
// the destructor ends a session still open (waiting at most kEndWaitMs beyond the deadline).
class BidiConnection {
public:
    explicit BidiConnection(QDeadlineTimer deadline);
    ~BidiConnection();
    BidiConnection(const BidiConnection&) = delete;
    BidiConnection& operator=(const BidiConnection&) = delete;

    // Starts connecting to a ws:// address and returns; open() also waits for the connection. No
    // Origin header is sent: the browser refuses a client that names one.
    void beginOpen(const QString& address);
    void waitOpen();
    void open(const QString& address)
    {
        beginOpen(address);
        waitOpen();
    }
    // session.new; throws Error with busyText() when the browser has a session open already. The work
    // in the session then has workMs, counted from its start.
    void newSession(int workMs);
    // session.end, when a session is open.
    void endSession();
    bool hasSession() const { return m_session; }
    // Sends the command and returns the "result" of its answer.
    QJsonObject call(const QString& method, const QJsonObject& params = {});

    static QString busyText();

    static constexpr qint64 kMaxMessageBytes = CommandSocket::kMaxMessageBytes;
    static constexpr int kEndWaitMs = 1000;
    static constexpr int kSessionWaitMs = 10000;

private:
    CommandSocket m_socket;
    QDeadlineTimer m_deadline;
    QString m_refusalCode; // the "error" code of the last refused command
    bool m_session = false;
};

// The browser's answers, read apart from the connection.
// The "result" of a command's answer. A refusal (type "error", or an "error" member) throws Error with
// the browser's message; its error code goes to refusalCode, which is emptied for any other answer.
QJsonObject bidiCommandResult(const QJsonObject& answer, QString& refusalCode);
// The remote value of a script.evaluate result; an exception in the page throws Error with the first
// line of its text.
QJsonObject bidiEvaluationValue(const QJsonObject& result);
// The text of a remote value that is a string; throws Error for any other.
QString bidiStringValue(const QJsonObject& value);
// The browsing context of a remote value that is a window other than the given context's own; empty
// for any other value.
QString bidiWindowContext(const QJsonObject& value, const QString& context);

// Evaluates an expression in the sandbox of a browsing context where the program reads pages (the
// BiDi counterpart of an isolated world: nothing is added to the page's own world, and what the page
// changed of the built-ins does not reach the expression), awaiting a promise, and returns the
// result's remote value. An exception in the page is a failure.
QJsonObject evaluateInSandbox(BidiConnection& connection, const QString& context, const QString& expression);

// As evaluateInSandbox, for an expression whose value is a string.
QString evaluateStringInSandbox(BidiConnection& connection, const QString& context, const QString& expression);

// The serializer's JSON of a browsing context's document, its frames of another origin included
// (readFramedJson): serializerCall (with frame slots) runs in the context's sandbox; each frame it could
// not read is read the same way in its own browsing context (the contentWindow of the slot's element).
QString readContextJson(BidiConnection& connection, const QString& context,
                        const std::function<QString(int lazyWaitMs)>& serializerCall, int lazyWaitMs);

} // namespace pxt
