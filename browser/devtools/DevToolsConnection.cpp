#include "browser/devtools/DevToolsConnection.h"

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

// Reads frames of another origin on their own; see readDocumentJson.
class FrameReader {
public:
    FrameReader(DevToolsConnection& connection, std::function<QString(int)> serializerCall, int lazyWaitMs)
        : m_connection(connection), m_call(std::move(serializerCall)), m_lazyWait(lazyWaitMs)
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
    ~FrameReader() { m_connection.onEvent = nullptr; }

    QString readTarget(const QString& sessionId, int depth)
    {
        // The targets of its frames that run in other processes are attached as they are found.
        QJsonObject autoAttach;
        autoAttach.insert(QLatin1String("autoAttach"), true);
        autoAttach.insert(QLatin1String("waitForDebuggerOnStart"), false);
        autoAttach.insert(QLatin1String("flatten"), true);
        try {
            m_connection.call(QStringLiteral("Target.setAutoAttach"), autoAttach, sessionId);
        } catch (const Error&) {
            // a browser without it: frames in other processes stay unreadable
        }
        return readFrame(sessionId, mainFrameId(m_connection, sessionId), depth);
    }

private:
    QString readFrame(const QString& sessionId, const QString& frameId, int depth)
    {
        const int context = isolatedWorld(m_connection, sessionId, frameId);
        const QString json = evaluateString(m_connection, sessionId, context, m_call(m_lazyWait.next()));
        bool hadSlots = false;
        const QString filled = fillFrameSlots(json, [&](int slot) {
            return depth + 1 < kMaxFrameDepth ? readSlot(sessionId, context, slot, depth + 1) : QString();
        }, &hadSlots);
        if (hadSlots) {
            try {
                evaluate(m_connection, sessionId, context, forgetFrameSlotsExpression(), true);
            } catch (const Error&) {
            }
        }
        return filled;
    }

    QString readSlot(const QString& sessionId, int context, int slot, int depth)
    {
        const QJsonObject owner = evaluate(m_connection, sessionId, context,
                                           frameSlotElementExpression(slot), false);
        const QString objectId = owner.value(QLatin1String("objectId")).toString();
        if (objectId.isEmpty())
            return {};
        QJsonObject describe;
        describe.insert(QLatin1String("objectId"), objectId);
        const QString frameId = m_connection.call(QStringLiteral("DOM.describeNode"), describe, sessionId)
                                    .value(QLatin1String("node")).toObject().value(QLatin1String("frameId")).toString();
        if (frameId.isEmpty())
            return {};
        if (const auto it = m_sessions.constFind(frameId); it != m_sessions.constEnd())
            return readTarget(*it, depth);
        return readFrame(sessionId, frameId, depth);
    }

    DevToolsConnection& m_connection;
    std::function<QString(int)> m_call;
    LazyWaitBudget m_lazyWait;
    QHash<QString, QString> m_sessions; // the attached targets of frames, by target (frame) id
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
    FrameReader reader(connection, serializerCall, lazyWaitMs);
    return reader.readTarget(sessionId, 0);
}

} // namespace pxt
