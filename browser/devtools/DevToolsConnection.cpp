#include "browser/devtools/DevToolsConnection.h"

#include "core/Error.h"

#include <QEventLoop>
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
    m_socket->setMaxAllowedIncomingMessageSize(quint64(kMaxMessageBytes));
    m_socket->setMaxAllowedIncomingFrameSize(quint64(kMaxMessageBytes));
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

QString evaluateStringInIsolatedWorld(DevToolsConnection& connection, const QString& sessionId,
                                      const QString& expression)
{
    const QJsonObject tree = connection.call(QStringLiteral("Page.getFrameTree"), {}, sessionId);
    const QString frameId = tree.value(QLatin1String("frameTree")).toObject().value(QLatin1String("frame"))
                                .toObject().value(QLatin1String("id")).toString();
    if (frameId.isEmpty())
        throw Error(QStringLiteral("the page has no frame to read"));

    QJsonObject worldParams;
    worldParams.insert(QLatin1String("frameId"), frameId);
    worldParams.insert(QLatin1String("worldName"), kWorldName);
    const QJsonObject world = connection.call(QStringLiteral("Page.createIsolatedWorld"), worldParams, sessionId);
    const QJsonValue context = world.value(QLatin1String("executionContextId"));
    if (!context.isDouble())
        throw Error(QStringLiteral("the browser made no world to read the page in"));

    QJsonObject params;
    params.insert(QLatin1String("expression"), expression);
    params.insert(QLatin1String("contextId"), context.toInt());
    params.insert(QLatin1String("returnByValue"), true);
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
    const QJsonObject value = outer.value(QLatin1String("result")).toObject();
    if (value.value(QLatin1String("type")).toString() != QLatin1String("string"))
        throw Error(QStringLiteral("the page's answer is no document"));
    return value.value(QLatin1String("value")).toString();
}

} // namespace pxt
