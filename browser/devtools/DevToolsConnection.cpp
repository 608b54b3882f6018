#include "browser/devtools/DevToolsConnection.h"

#include "browser/FrameRead.h"
#include "browser/FrameSlots.h"
#include "core/Error.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace pxt {

namespace {
// The name of the program's world in every frame it reads.
const QString kWorldName = QStringLiteral("pixtrawl");
} // namespace

DevToolsConnection::DevToolsConnection(int timeoutMs) : m_deadline(timeoutMs), m_timeoutMs(timeoutMs)
{
    m_socket.onMessage = [this](const QJsonObject& o) {
        if (onEvent && o.contains(QLatin1String("method")))
            onEvent(o);
    };
}

DevToolsConnection::~DevToolsConnection() = default;

QString DevToolsConnection::timeoutText() const
{
    return QStringLiteral("no answer within %1 seconds").arg((m_timeoutMs + 999) / 1000);
}

void DevToolsConnection::open(const QString& address)
{
    m_socket.open(address);
    m_socket.waitOpen(m_deadline, timeoutText());
}

QJsonObject DevToolsConnection::call(const QString& method, const QJsonObject& params, const QString& sessionId)
{
    QJsonObject request;
    request.insert(QLatin1String("method"), method);
    request.insert(QLatin1String("params"), params);
    if (!sessionId.isEmpty())
        request.insert(QLatin1String("sessionId"), sessionId);
    const QJsonObject answer = m_socket.send(request, m_deadline, timeoutText());
    if (answer.contains(QLatin1String("error"))) {
        QString text = answer.value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString();
        if (text.isEmpty())
            text = QStringLiteral("the browser refused the command");
        // A refused command ends the connection's use, as a broken one does.
        m_socket.fail(text);
        throw Error(text);
    }
    return answer.value(QLatin1String("result")).toObject();
}

namespace {

QString mainFrameId(DevToolsConnection& connection, const QString& sessionId)
{
    const QJsonObject tree = connection.call(QStringLiteral("Page.getFrameTree"), {}, sessionId);
    const QString frameId = tree.value(QLatin1String("frameTree")).toObject().value(QLatin1String("frame"))
                                .toObject().value(QLatin1String("id")).toString();
    if (frameId.isEmpty())
        throw Error(QStringLiteral("the page has no frame to read"));
    return frameId;
}

int isolatedWorld(DevToolsConnection& connection, const QString& sessionId, const QString& frameId)
{
    QJsonObject params;
    params.insert(QLatin1String("frameId"), frameId);
    params.insert(QLatin1String("worldName"), kWorldName);
    const QJsonObject world = connection.call(QStringLiteral("Page.createIsolatedWorld"), params, sessionId);
    const QJsonValue context = world.value(QLatin1String("executionContextId"));
    if (!context.isDouble())
        throw Error(QStringLiteral("the browser made no world to read the page in"));
    return context.toInt();
}

// The "result" remote object of an evaluation; an exception in the page is a failure.
QJsonObject evaluate(DevToolsConnection& connection, const QString& sessionId, int context,
                     const QString& expression, bool byValue)
{
    QJsonObject params;
    params.insert(QLatin1String("expression"), expression);
    params.insert(QLatin1String("contextId"), context);
    params.insert(QLatin1String("returnByValue"), byValue);
    params.insert(QLatin1String("awaitPromise"), true);
    const QJsonObject outer = connection.call(QStringLiteral("Runtime.evaluate"), params, sessionId);
    if (outer.contains(QLatin1String("exceptionDetails"))) {
        const QJsonObject details = outer.value(QLatin1String("exceptionDetails")).toObject();
        QString text =
            details.value(QLatin1String("exception")).toObject().value(QLatin1String("description")).toString();
        if (text.isEmpty())
            text = details.value(QLatin1String("text")).toString();
        throw Error(QStringLiteral("the page raised an exception: ") + text.section(QLatin1Char('\n'), 0, 0));
    }
    return outer.value(QLatin1String("result")).toObject();
}

QString evaluateString(DevToolsConnection& connection, const QString& sessionId, int context,
                       const QString& expression)
{
    const QJsonObject value = evaluate(connection, sessionId, context, expression, true);
    if (value.value(QLatin1String("type")).toString() != QLatin1String("string"))
        throw Error(QStringLiteral("the page's answer is no document"));
    return value.value(QLatin1String("value")).toString();
}

// The sessions of the frames' targets that run in other processes, by target (frame) id, as the
// browser attaches them during a read (Target.setAutoAttach, flatten).
class AttachedFrames {
public:
    explicit AttachedFrames(DevToolsConnection& connection) : m_connection(connection)
    {
        m_connection.onEvent = [this](const QJsonObject& event) {
            if (event.value(QLatin1String("method")).toString() != QLatin1String("Target.attachedToTarget"))
                return;
            const QJsonObject params = event.value(QLatin1String("params")).toObject();
            const QString target =
                params.value(QLatin1String("targetInfo")).toObject().value(QLatin1String("targetId")).toString();
            const QString session = params.value(QLatin1String("sessionId")).toString();
            if (!target.isEmpty() && !session.isEmpty())
                m_sessions.insert(target, session);
        };
    }
    ~AttachedFrames() { m_connection.onEvent = nullptr; }
    AttachedFrames(const AttachedFrames&) = delete;
    AttachedFrames& operator=(const AttachedFrames&) = delete;

    DevToolsConnection& connection() const { return m_connection; }
    QString session(const QString& frameId) const { return m_sessions.value(frameId); }

private:
    DevToolsConnection& m_connection;
    QHash<QString, QString> m_sessions;
};

// An isolated world of one frame, in the session of the target the frame runs in.
class DevToolsFrameWorld : public FrameWorld {
public:
    DevToolsFrameWorld(AttachedFrames& attached, QString sessionId, const QString& frameId)
        : m_attached(attached), m_session(std::move(sessionId)),
          m_context(isolatedWorld(attached.connection(), m_session, frameId))
    {
    }

    // The world of a target's main frame; the targets of its frames that run in other processes are
    // attached as they are found.
    static std::unique_ptr<FrameWorld> ofTarget(AttachedFrames& attached, const QString& sessionId)
    {
        QJsonObject autoAttach;
        autoAttach.insert(QLatin1String("autoAttach"), true);
        autoAttach.insert(QLatin1String("waitForDebuggerOnStart"), false);
        autoAttach.insert(QLatin1String("flatten"), true);
        try {
            attached.connection().call(QStringLiteral("Target.setAutoAttach"), autoAttach, sessionId);
        } catch (const Error&) {
            // a browser without it: frames in other processes stay unreadable
        }
        return std::make_unique<DevToolsFrameWorld>(attached, sessionId, mainFrameId(attached.connection(), sessionId));
    }

    QString evaluateString(const QString& expression) override
    {
        return pxt::evaluateString(m_attached.connection(), m_session, m_context, expression);
    }

    void evaluate(const QString& expression) override
    {
        pxt::evaluate(m_attached.connection(), m_session, m_context, expression, true);
    }

    // The slot's element gives its frame (DOM.describeNode); a frame of another process is read
    // through the session of its own target.
    std::unique_ptr<FrameWorld> slotWorld(int slot) override
    {
        DevToolsConnection& connection = m_attached.connection();
        const QJsonObject owner = pxt::evaluate(connection, m_session, m_context, frameSlotElementExpression(slot), false);
        const QString objectId = owner.value(QLatin1String("objectId")).toString();
        if (objectId.isEmpty())
            return nullptr;
        QJsonObject describe;
        describe.insert(QLatin1String("objectId"), objectId);
        const QString frameId = connection.call(QStringLiteral("DOM.describeNode"), describe, m_session)
                                    .value(QLatin1String("node")).toObject().value(QLatin1String("frameId")).toString();
        if (frameId.isEmpty())
            return nullptr;
        if (const QString session = m_attached.session(frameId); !session.isEmpty())
            return ofTarget(m_attached, session);
        return std::make_unique<DevToolsFrameWorld>(m_attached, m_session, frameId);
    }

private:
    AttachedFrames& m_attached;
    QString m_session;
    int m_context;
};

} // namespace

QString evaluateStringInIsolatedWorld(DevToolsConnection& connection, const QString& sessionId,
                                      const QString& expression)
{
    const QString frameId = mainFrameId(connection, sessionId);
    return evaluateString(connection, sessionId, isolatedWorld(connection, sessionId, frameId), expression);
}

QString readDocumentJson(DevToolsConnection& connection, const QString& sessionId,
                         const std::function<QString(int lazyWaitMs)>& serializerCall, int lazyWaitMs)
{
    AttachedFrames attached(connection);
    const std::unique_ptr<FrameWorld> top = DevToolsFrameWorld::ofTarget(attached, sessionId);
    return readFramedJson(*top, serializerCall, lazyWaitMs);
}

} // namespace pxt
