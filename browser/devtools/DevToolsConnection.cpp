#include "browser/devtools/DevToolsConnection.h"

#include "browser/FrameSlots.h"
#include "core/Error.h"

#include <QEventLoop>
#include <QHash>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <utility>

namespace pxt {

namespace {
// The name of the program's world in every frame it reads.
const QString kWorldName = QStringLiteral("pixtrawl");
} // namespace

DevToolsConnection::DevToolsConnection(int timeoutMs) : m_deadline(timeoutMs), m_timeoutMs(timeoutMs) {}

DevToolsConnection::~DevToolsConnection()
{
    if (m_socket) {
        m_socket->disconnect();
        m_socket->abort();
    }
}

void DevToolsConnection::open(const QString& address)
{
    const QUrl url(address);
    if (address.isEmpty() || !url.isValid()
        || (url.scheme() != QLatin1String("ws") && url.scheme() != QLatin1String("wss")))
        throw Error(QStringLiteral("the browser offers no debugger connection to it"));

    m_socket = std::make_unique<QWebSocket>();
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setMaxAllowedIncomingMessageSize(quint64(m_maxMessageBytes));
    m_socket->setMaxAllowedIncomingFrameSize(quint64(m_maxMessageBytes));
    QWebSocket* socket = m_socket.get();
    QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [this](const QString& message) {
        const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
        const QJsonValue id = o.value(QLatin1String("id"));
        if (id.isUndefined()) {
            if (onEvent && o.contains(QLatin1String("method")))
                onEvent(o);
            return;
        }
        if (m_waitingFor == 0 || id.toInt() != m_waitingFor)
            return; // an answer to nothing asked now
        m_waitingFor = 0;
        if (o.contains(QLatin1String("error"))) {
            QString text = o.value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString();
            m_failure = text.isEmpty() ? QStringLiteral("the browser refused the command") : text;
        } else {
            m_answer = o.value(QLatin1String("result")).toObject();
            m_answered = true;
        }
        wake();
    });
    QObject::connect(socket, &QWebSocket::disconnected, socket, [this] {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("the connection was closed");
        wake();
    });
    QObject::connect(socket, &QWebSocket::connected, socket, [this] { wake(); });
    QObject::connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), socket,
                     [this, socket](QAbstractSocket::SocketError) {
                         if (m_failure.isEmpty())
                             m_failure = socket->errorString();
                         wake();
                     });
    socket->open(url);
    wait([socket] { return socket->state() == QAbstractSocket::ConnectedState; });
}

QJsonObject DevToolsConnection::call(const QString& method, const QJsonObject& params, const QString& sessionId)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        throw Error(m_failure.isEmpty() ? QStringLiteral("the connection was closed") : m_failure);
    QJsonObject request;
    const int id = m_nextId++;
    request.insert(QLatin1String("id"), id);
    request.insert(QLatin1String("method"), method);
    request.insert(QLatin1String("params"), params);
    if (!sessionId.isEmpty())
        request.insert(QLatin1String("sessionId"), sessionId);
    m_answered = false;
    m_answer = {};
    m_waitingFor = id;
    m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
    wait([this] { return m_answered; });
    return std::exchange(m_answer, {});
}

void DevToolsConnection::wait(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_loop = &loop;
    while (!done() && m_failure.isEmpty() && !m_deadline.hasExpired()) {
        deadline.start(int(std::max<qint64>(1, m_deadline.remainingTime())));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_loop = nullptr;
    if (done())
        return;
    if (!m_failure.isEmpty())
        throw Error(m_failure);
    throw Error(QStringLiteral("no answer within %1 seconds").arg((m_timeoutMs + 999) / 1000));
}

void DevToolsConnection::wake()
{
    if (m_loop)
        m_loop->quit();
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
