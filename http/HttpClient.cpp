#include "http/HttpClient.h"

#include "http/BrowserSession.h"
#include "http/SocketErrors.h"

#include "core/Error.h"
#include "core/Pump.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtGlobal>

#include <utility>

namespace pxt {

namespace {

QString textOf(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const Error& error) {
        return error.text();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
    }
    return QStringLiteral("Unbekannter Fehler");
}

constexpr int kTimedOutError = 10060;

bool followsLocation(int reply)
{
    return (reply >= 300 && reply <= 303) || reply == 307 || reply == 308;
}

} // namespace

HttpClient::HttpClient(int idleLimitMs)
    : m_socket(idleLimitMs), m_context(std::make_unique<QObject>()), m_overall(std::make_unique<QTimer>())
{
    m_overall->setSingleShot(true);
    QObject::connect(m_overall.get(), &QTimer::timeout, m_context.get(),
                     [this] { fail(SocketErrorMessage(kTimedOutError)); });
    m_socket.onConnected = [this] { connected(); };
    m_socket.onReceived = [this](const QByteArray& data) { received(data); };
    m_socket.onClosed = [this] {
        if (m_running)
            endOfConnection();
    };
    m_socket.onFailed = [this](const QString& text) { fail(text); };
}

HttpClient::~HttpClient()
{
    if (m_waiting > 0 || m_socket.isDispatching())
        qFatal("HttpClient destroyed while a Get waits or inside its own event");
    cancel();
}

// --- starting and ending -----------------------------------------------------------------------------

void HttpClient::get(const QString& url)
{
    start(url);
    const std::uint64_t request = m_request;
    ++m_waiting;
    {
        // Wakes the wait at least every 2 ms, so that every turn lets window messages run.
        QTimer turn;
        turn.start(2);
        while (request == m_request && m_running) {
            pumpMessages();
            if (request == m_request && m_running)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    --m_waiting;
    if (request != m_request)
        return; // taken over or cancelled
    if (m_handlerError)
        std::rethrow_exception(std::exchange(m_handlerError, nullptr));
    if (!m_error.isEmpty())
        throw Error(m_error);
}

void HttpClient::start(const QString& url)
{
    if (m_socket.isConnected())
        throw Error(QStringLiteral("Bereits verbunden"));
    // A request that has lost its connection and waits for its end is taken over.
    ++m_request;
    m_running = false;
    m_stage = Stage::Idle;
    m_aborted = false;
    m_abortText.clear();
    m_error.clear();
    m_handlerError = nullptr;
    m_repeats = 0;
    m_redirectCookies.clear();
    m_overall->stop();
    m_target.parse(url);
    m_refererSource = m_session ? m_session->refererSource(m_target.address()) : BrowserSession::RefererSource();
    const QString problem = m_target.problem();
    if (!problem.isEmpty())
        throw Error(problem);
    m_running = true;
    if (m_overallLimitMs > 0)
        m_overall->start(m_overallLimitMs);
    connectNow();
}

void HttpClient::connectNow()
{
    resetResponse();
    m_stage = Stage::Connecting;
    m_socket.connectTo(m_target.host, quint16(m_target.port), m_target.tls);
}

void HttpClient::resetResponse()
{
    m_response.clear();
    m_disconnected = false;
}

void HttpClient::disconnect()
{
    if (!m_running) {
        m_socket.close();
        return;
    }
    if (m_stage != Stage::Header && m_stage != Stage::Body) {
        // Before the response there is nothing to take: the request ends quietly.
        cancel();
        return;
    }
    m_socket.close();
    m_disconnected = true;
    // Inside the packet event the response is taken as soon as the handler returns; elsewhere at the
    // next turn of the event loop.
    scheduleCheck();
}

void HttpClient::abort()
{
    if (m_running && !m_aborted)
        m_abortText = abortText(); // the step the request is at when the user asks
    m_aborted = true;
    if (m_running)
        scheduleCheck();
}

void HttpClient::cancel()
{
    if (!m_running && !m_socket.isConnected())
        return;
    ++m_request;
    m_running = false;
    m_stage = Stage::Idle;
    m_overall->stop();
    m_socket.close();
}

void HttpClient::scheduleCheck()
{
    QTimer::singleShot(0, m_context.get(), [this, request = m_request] {
        if (request != m_request || !m_running)
            return;
        if (m_aborted)
            fail(m_abortText);
        else if (m_disconnected)
            endOfConnection();
    });
}

QString HttpClient::abortText() const
{
    switch (m_socket.phase()) {
    case SocketClient::Phase::Lookup:
        return QStringLiteral("Host-Lookup abgebrochen");
    case SocketClient::Phase::Connecting:
    case SocketClient::Phase::Handshake:
        return QStringLiteral("Verbindung abgebrochen");
    case SocketClient::Phase::Open:
    case SocketClient::Phase::None:
        break;
    }
    switch (m_stage) {
    case Stage::Idle:
    case Stage::Connecting:
        return QStringLiteral("Verbindung abgebrochen");
    case Stage::Header:
        return m_socket.isSending() ? QStringLiteral("Socket-send abgebrochen") : QStringLiteral("Socket-readln abgebrochen");
    case Stage::Body:
        break;
    }
    return QStringLiteral("Socket-Capture abgebrochen");
}

void HttpClient::fail(const QString& text)
{
    if (!m_running)
        return;
    m_error = text;
    finish();
}

void HttpClient::finish()
{
    m_running = false;
    m_stage = Stage::Idle;
    m_overall->stop();
    m_socket.close();
    fire(onDone, m_request);
}

bool HttpClient::fire(const std::function<void()>& handler, std::uint64_t request)
{
    if (handler) {
        // A copy, so that the handler may replace the event.
        const std::function<void()> copy = handler;
        try {
            copy();
        } catch (...) {
            // Nothing may pass into Qt's event loop: the request fails, and its Get throws it.
            if (request == m_request) {
                m_handlerError = std::current_exception();
                if (m_running)
                    fail(textOf(m_handlerError));
            }
            return false;
        }
    }
    return request == m_request && m_running;
}

// --- the address and the request ---------------------------------------------------------------------

QByteArray HttpClient::requestText() const
{
    const QUrl address = m_target.address();
    QList<QNetworkCookie> cookies;
    if (m_session && m_session->enabled()) {
        cookies = m_session->cookiesFor(address, m_refererSource.page);
        // A redirect's cookie replaces the browser's of the same name, as a browser's store would.
        for (const QNetworkCookie& set : m_redirectCookies.cookiesFor(address, m_refererSource.page)) {
            cookies.removeIf([&](const QNetworkCookie& c) { return c.name() == set.name(); });
            cookies << set;
        }
    }
    return m_target.request(CookieJar::headerValue(cookies), m_refererSource.refererFor(address).toLatin1());
}

// --- the response ------------------------------------------------------------------------------------

void HttpClient::connected()
{
    if (!m_running)
        return;
    if (m_aborted) {
        fail(m_abortText);
        return;
    }
    m_stage = Stage::Header;
    m_socket.send(requestText());
}

void HttpClient::received(const QByteArray& data)
{
    if (!m_running || m_stage == Stage::Connecting)
        return;
    if (m_aborted) {
        fail(m_abortText);
        return;
    }
    qint64 used = 0;
    if (m_stage == Stage::Header) {
        if (!m_response.takeHeader(data.constData(), data.size(), used)) {
            fail(QStringLiteral("Header too large"));
            return;
        }
        if (!m_response.headerDone())
            return;
        m_stage = Stage::Body;
    }
    if (used < data.size())
        takeBody(data.constData() + used, data.size() - used);
}

void HttpClient::takeBody(const char* data, qint64 size)
{
    m_response.takeBody(data, size, m_maxKeptBody);
    const std::uint64_t request = m_request;
    if (fire(onPacketReceived, request) && m_disconnected)
        endOfConnection();
}

void HttpClient::endOfConnection()
{
    m_disconnected = false;
    m_socket.close();
    // A header cut short by the end of the connection keeps its last piece.
    if (m_stage == Stage::Header)
        m_response.endOfHeader();
    m_stage = Stage::Idle;

    const std::uint64_t request = m_request;
    const int reply = m_response.replyNumber();
    if (reply < 299) {
        if (fire(onSuccess, request))
            finish();
        return;
    }
    if (reply >= 300 && reply <= 399) {
        if (!m_response.setCookie().isEmpty() && m_session && m_session->enabled())
            m_redirectCookies.insertFromResponse(QNetworkCookie::parseCookies(m_response.setCookie()), m_target.address());
        // Any other 3xx, or one without a usable Location, ends the request at once.
        const QString& location = m_response.location();
        const QString next = followsLocation(reply) && !location.isEmpty() ? m_target.redirect(location) : QString();
        if (!next.isEmpty() && m_repeats < kMaxRepeats) {
            ++m_repeats;
            m_target.parse(next);
            const QString problem = m_target.problem();
            if (!problem.isEmpty()) {
                fail(problem);
                return;
            }
            connectNow();
            return;
        }
    }
    finish();
}

} // namespace pxt
