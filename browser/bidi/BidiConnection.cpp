#include "browser/bidi/BidiConnection.h"

#include "browser/FrameRead.h"
#include "browser/FrameSlots.h"
#include "core/Error.h"

#include <QJsonDocument>

#include <algorithm>
#include <utility>

namespace pxt {

namespace {
// The name of the program's sandbox in every browsing context it reads.
const QString kSandboxName = QStringLiteral("pixtrawl");
} // namespace

BidiConnection::BidiConnection(QDeadlineTimer deadline) : m_deadline(deadline) {}

BidiConnection::~BidiConnection()
{
    if (m_session) {
        try {
            endSession();
        } catch (const Error&) {
            // the browser is gone, or ends the session when it notices
        }
    }
}

QString BidiConnection::busyText()
{
    return QStringLiteral("another program is driving the browser (it allows one debugging session at a time)");
}

void BidiConnection::beginOpen(const QString& address) { m_socket.open(address); }

void BidiConnection::waitOpen() { m_socket.waitOpen(m_deadline, QStringLiteral("no answer in time")); }

QJsonObject BidiConnection::call(const QString& method, const QJsonObject& params)
{
    QJsonObject request;
    request.insert(QLatin1String("method"), method);
    request.insert(QLatin1String("params"), params);
    m_refusalCode.clear(); // also when no answer comes
    return bidiCommandResult(m_socket.send(request, m_deadline, QStringLiteral("no answer in time")), m_refusalCode);
}

QJsonObject bidiCommandResult(const QJsonObject& answer, QString& refusalCode)
{
    refusalCode.clear();
    if (answer.value(QLatin1String("type")).toString() == QLatin1String("error")
        || answer.contains(QLatin1String("error"))) {
        refusalCode = answer.value(QLatin1String("error")).toString();
        QString refusal = answer.value(QLatin1String("message")).toString();
        if (refusal.isEmpty())
            refusal = refusalCode.isEmpty() ? QStringLiteral("the browser refused the command") : refusalCode;
        throw Error(refusal);
    }
    return answer.value(QLatin1String("result")).toObject();
}

QJsonObject bidiEvaluationValue(const QJsonObject& result)
{
    if (result.value(QLatin1String("type")).toString() == QLatin1String("exception")) {
        QString text = result.value(QLatin1String("exceptionDetails")).toObject().value(QLatin1String("text")).toString();
        throw Error(QStringLiteral("the page raised an exception: ") + text.section(QLatin1Char('\n'), 0, 0));
    }
    return result.value(QLatin1String("result")).toObject();
}

QString bidiStringValue(const QJsonObject& value)
{
    if (value.value(QLatin1String("type")).toString() != QLatin1String("string"))
        throw Error(QStringLiteral("the page's answer is no document"));
    return value.value(QLatin1String("value")).toString();
}

QString bidiWindowContext(const QJsonObject& value, const QString& context)
{
    if (value.value(QLatin1String("type")).toString() != QLatin1String("window"))
        return {};
    const QString frame = value.value(QLatin1String("value")).toObject().value(QLatin1String("context")).toString();
    return frame == context ? QString() : frame;
}

namespace {
// Gives the deadline at least ms from now.
void atLeast(QDeadlineTimer& deadline, int ms)
{
    const qint64 left = deadline.remainingTime();
    if (left >= 0 && left < ms)
        deadline.setRemainingTime(ms);
}
} // namespace

void BidiConnection::newSession(int workMs)
{
    QJsonObject params;
    params.insert(QLatin1String("capabilities"), QJsonObject());
    atLeast(m_deadline, kSessionWaitMs);
    try {
        call(QStringLiteral("session.new"), params);
    } catch (const Error&) {
        if (m_refusalCode == QLatin1String("session not created"))
            throw Error(busyText());
        throw;
    }
    m_session = true;
    m_deadline.setRemainingTime(workMs);
}

void BidiConnection::endSession()
{
    if (!m_session)
        return;
    m_session = false;
    // Ended even when the work ran out of time: a session left open locks the browser.
    atLeast(m_deadline, kEndWaitMs);
    call(QStringLiteral("session.end"));
}

QJsonObject evaluateInSandbox(BidiConnection& connection, const QString& context, const QString& expression)
{
    QJsonObject target;
    target.insert(QLatin1String("context"), context);
    target.insert(QLatin1String("sandbox"), kSandboxName);
    QJsonObject params;
    params.insert(QLatin1String("expression"), expression);
    params.insert(QLatin1String("target"), target);
    params.insert(QLatin1String("awaitPromise"), true);
    params.insert(QLatin1String("resultOwnership"), QStringLiteral("none"));
    return bidiEvaluationValue(connection.call(QStringLiteral("script.evaluate"), params));
}

QString evaluateStringInSandbox(BidiConnection& connection, const QString& context, const QString& expression)
{
    return bidiStringValue(evaluateInSandbox(connection, context, expression));
}

namespace {

// The sandbox of one browsing context.
class BidiFrameWorld : public FrameWorld {
public:
    BidiFrameWorld(BidiConnection& connection, QString context) : m_connection(connection), m_context(std::move(context)) {}

    QString evaluateString(const QString& expression) override
    {
        return evaluateStringInSandbox(m_connection, m_context, expression);
    }

    void evaluate(const QString& expression) override { evaluateInSandbox(m_connection, m_context, expression); }

    // The slot's frame element's window is serialized as the browsing context of the frame.
    std::unique_ptr<FrameWorld> slotWorld(int slot) override
    {
        const QString frame = bidiWindowContext(
            evaluateInSandbox(m_connection, m_context, frameSlotElementExpression(slot) + QStringLiteral(".contentWindow")),
            m_context);
        if (frame.isEmpty())
            return nullptr;
        return std::make_unique<BidiFrameWorld>(m_connection, frame);
    }

private:
    BidiConnection& m_connection;
    QString m_context;
};

} // namespace

QString readContextJson(BidiConnection& connection, const QString& context,
                        const std::function<QString(int lazyWaitMs)>& serializerCall, int lazyWaitMs)
{
    BidiFrameWorld top(connection, context);
    return readFramedJson(top, serializerCall, lazyWaitMs);
}

} // namespace pxt
