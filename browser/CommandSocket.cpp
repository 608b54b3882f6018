#include "browser/CommandSocket.h"

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

CommandSocket::CommandSocket() = default;

CommandSocket::~CommandSocket()
{
    if (m_socket) {
        m_socket->disconnect();
        m_socket->abort();
    }
}

void CommandSocket::open(const QString& address)
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
        if (id.isUndefined() || id.isNull()) {
            if (onMessage)
                onMessage(o);
            return;
        }
        if (m_waitingFor == 0 || id.toInt() != m_waitingFor)
            return; // an answer to nothing asked now
        m_waitingFor = 0;
        m_answer = o;
        m_answered = true;
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
}

bool CommandSocket::isOpen() const { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; }

void CommandSocket::waitOpen(const QDeadlineTimer& deadline, const QString& timeoutText)
{
    if (!m_socket)
        throw Error(QStringLiteral("the browser offers no debugger connection to it"));
    wait([this] { return isOpen(); }, deadline, timeoutText);
}

QJsonObject CommandSocket::send(QJsonObject command, const QDeadlineTimer& deadline, const QString& timeoutText)
{
    if (!m_failure.isEmpty() || !isOpen())
        throw Error(m_failure.isEmpty() ? QStringLiteral("the connection was closed") : m_failure);
    const int id = m_nextId++;
    command.insert(QLatin1String("id"), id);
    m_answered = false;
    m_answer = {};
    m_waitingFor = id;
    m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact)));
    wait([this] { return m_answered; }, deadline, timeoutText);
    return std::exchange(m_answer, {});
}

void CommandSocket::fail(const QString& reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
}

void CommandSocket::wait(const std::function<bool()>& done, const QDeadlineTimer& deadline,
                         const QString& timeoutText)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_loop = &loop;
    while (!done() && m_failure.isEmpty() && !deadline.hasExpired()) {
        const qint64 left = deadline.remainingTime(); // -1: no deadline
        timer.start(int(std::clamp<qint64>(left < 0 ? 60000 : left, 1, 60000)));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_loop = nullptr;
    if (done())
        return;
    if (!m_failure.isEmpty())
        throw Error(m_failure);
    throw Error(timeoutText);
}

void CommandSocket::wake()
{
    if (m_loop)
        m_loop->quit();
}

} // namespace pxt
