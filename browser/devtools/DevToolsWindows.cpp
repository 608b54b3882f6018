#include "browser/devtools/DevToolsWindows.h"

#include "browser/FrameRead.h"
#include "browser/devtools/DevToolsConnection.h"

#include "dom/Document.h"
#include "core/Error.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>

namespace pxt {

namespace {

// A /json/list answer larger than this is no list of browser tabs.
constexpr qint64 kMaxListBytes = 16 * 1024 * 1024;

// The seconds a JavaScript date reaches after 1970: a later expiry is taken as that, which a date
// holds (a number beyond a qint64 has no conversion at all).
constexpr double kMaxExpirySeconds = 8.64e12;

} // namespace

std::vector<DevToolsTarget> pageTargets(const QJsonObject& getTargets, const QString& browserWebSocketUrl)
{
    std::vector<DevToolsTarget> targets;
    for (const QJsonValue& v : getTargets.value(QLatin1String("targetInfos")).toArray()) {
        if (targets.size() >= size_t(kMaxPageTargets))
            break;
        const QJsonObject o = v.toObject();
        const QString id = o.value(QLatin1String("targetId")).toString();
        if (o.value(QLatin1String("type")).toString() != QLatin1String("page") || id.isEmpty())
            continue;
        targets.push_back({o.value(QLatin1String("title")).toString(), o.value(QLatin1String("url")).toString(),
                           QString(), id, browserWebSocketUrl});
    }
    return targets;
}

namespace {

bool onEndpoint(const QString& socket, const QString& endpoint)
{
    const QUrl url(socket);
    return url.scheme() == QLatin1String("ws")
        && normalizedEndpoint(url.host() + QLatin1Char(':') + QString::number(url.port())) == endpoint;
}

} // namespace

std::vector<DevToolsTarget> pageTargets(const QByteArray& jsonList, const QString& endpoint)
{
    std::vector<DevToolsTarget> targets;
    const QJsonDocument doc = QJsonDocument::fromJson(jsonList);
    if (!doc.isArray())
        return targets;
    for (const QJsonValue& v : doc.array()) {
        if (targets.size() >= size_t(kMaxPageTargets))
            break;
        const QJsonObject o = v.toObject();
        if (o.value(QLatin1String("type")).toString() != QLatin1String("page"))
            continue;
        const QString socket = o.value(QLatin1String("webSocketDebuggerUrl")).toString();
        targets.push_back({o.value(QLatin1String("title")).toString(), o.value(QLatin1String("url")).toString(),
                           onEndpoint(socket, endpoint) ? socket : QString()});
    }
    return targets;
}

namespace {

// Opens the connection a window is read through: the browser's own socket with a session attached
// to the page (flatten), or the page's own socket. Returns the session to address, empty for the
// page's own socket.
QString openWindow(DevToolsConnection& connection, const DevToolsTarget& target)
{
    if (target.browserWebSocketUrl.isEmpty() || target.targetId.isEmpty()) {
        connection.open(target.webSocketDebuggerUrl);
        return {};
    }
    connection.open(target.browserWebSocketUrl);
    QJsonObject attach;
    attach.insert(QLatin1String("targetId"), target.targetId);
    attach.insert(QLatin1String("flatten"), true);
    const QString session =
        connection.call(QStringLiteral("Target.attachToTarget"), attach).value(QLatin1String("sessionId")).toString();
    if (session.isEmpty())
        throw Error(QStringLiteral("the browser gave no session for the page"));
    return session;
}

} // namespace

std::shared_ptr<Document> DevToolsWindow::document()
{
    return windowDocument(m_target.title, [this] {
        DevToolsConnection connection(kReadTimeoutMs);
        const QString session = openWindow(connection, m_target);
        return readDocumentJson(connection, session, &DevToolsWindow::readerScript, kLazyWaitMs);
    });
}

QString DevToolsWindow::evaluateString(const QString& expression)
{
    try {
        DevToolsConnection connection(kReadTimeoutMs);
        const QString session = openWindow(connection, m_target);
        return evaluateStringInIsolatedWorld(connection, session, expression);
    } catch (const Error& e) {
        throw Error(windowReadFailure(m_target.title, e.text()));
    }
}

QList<QNetworkCookie> DevToolsWindow::cookies(const QList<QUrl>& urls)
{
    QJsonArray addresses;
    for (const QUrl& url : urls)
        addresses.append(url.toString(QUrl::FullyEncoded));
    if (addresses.isEmpty())
        return {};
    try {
        DevToolsConnection connection(kReadTimeoutMs);
        const QString session = openWindow(connection, m_target);
        return cookiesFromDevTools(
            connection.call(QStringLiteral("Network.getCookies"), {{QStringLiteral("urls"), addresses}}, session));
    } catch (const Error& e) {
        throw Error(windowReadFailure(m_target.title, e.text()));
    }
}

QString versionBrowserSocket(const QByteArray& version, const QString& endpoint)
{
    const QString socket =
        QJsonDocument::fromJson(version).object().value(QLatin1String("webSocketDebuggerUrl")).toString();
    return onEndpoint(socket, endpoint) ? socket : QString();
}

QList<QNetworkCookie> cookiesFromDevTools(const QJsonObject& getCookies)
{
    QList<QNetworkCookie> cookies;
    const QJsonArray list = getCookies.value(QStringLiteral("cookies")).toArray();
    for (const QJsonValue& value : list) {
        const QJsonObject c = value.toObject();
        const QString name = c.value(QStringLiteral("name")).toString();
        const QString domain = c.value(QStringLiteral("domain")).toString();
        if (name.isEmpty() || domain.isEmpty())
            continue;
        QNetworkCookie cookie(name.toUtf8(), c.value(QStringLiteral("value")).toString().toUtf8());
        cookie.setDomain(domain);
        const QString path = c.value(QStringLiteral("path")).toString();
        cookie.setPath(path.isEmpty() ? QStringLiteral("/") : path);
        cookie.setSecure(c.value(QStringLiteral("secure")).toBool());
        cookie.setHttpOnly(c.value(QStringLiteral("httpOnly")).toBool());
        // A session cookie has no expiry (the protocol says -1, or leaves it out).
        const double expires = c.value(QStringLiteral("expires")).toDouble(-1);
        if (!c.value(QStringLiteral("session")).toBool() && expires > 0)
            cookie.setExpirationDate(
                QDateTime::fromMSecsSinceEpoch(qint64(std::min(expires, kMaxExpirySeconds) * 1000), Qt::UTC));
        const QString sameSite = c.value(QStringLiteral("sameSite")).toString();
        if (sameSite == QLatin1String("Strict"))
            cookie.setSameSitePolicy(QNetworkCookie::SameSite::Strict);
        else if (sameSite == QLatin1String("Lax"))
            cookie.setSameSitePolicy(QNetworkCookie::SameSite::Lax);
        else if (sameSite == QLatin1String("None"))
            cookie.setSameSitePolicy(QNetworkCookie::SameSite::None);
        cookies.append(cookie);
    }
    return cookies;
}

DevToolsWindowList::DevToolsWindowList(BrowserEndpointSources sources) : m_sources(std::move(sources)) {}

DevToolsWindowList::~DevToolsWindowList() = default;

void DevToolsWindowList::refresh()
{
    const QStringList endpoints = discoverBrowserEndpoints(m_sources);
    const QHash<QString, QString> announced = announcedBrowserSockets(m_sources);
    // Every endpoint is asked at once; the answers are taken in the endpoints' order.
    const std::vector<std::vector<EndpointAnswer>> answers =
        askEndpoints(endpoints, {QStringLiteral("/json/version"), QStringLiteral("/json/list"), QStringLiteral("/session")},
                     kAnswerTimeoutMs, kMaxListBytes);
    auto body = [](const EndpointAnswer& answer) { return answer.status == 200 ? answer.body : QByteArray(); };

    std::vector<std::shared_ptr<BrowserWindow>> windows;
    for (qsizetype e = 0; e < endpoints.size(); ++e) {
        const QString& endpoint = endpoints[e];
        const std::vector<EndpointAnswer>& a = answers[size_t(e)];
        if (endpointProtocol(a[0], a[2]) == EndpointProtocol::WebDriverBidi)
            continue;
        const QByteArray version = body(a[0]);
        const QByteArray list = body(a[1]);
        QString socket = announced.value(endpoint);
        if (socket.isEmpty() && !version.isEmpty())
            socket = versionBrowserSocket(version, endpoint);
        bool listed = false;
        if (!socket.isEmpty()) {
            try {
                DevToolsConnection connection(kAnswerTimeoutMs);
                connection.open(socket);
                const QJsonObject targets = connection.call(QStringLiteral("Target.getTargets"));
                for (DevToolsTarget& t : pageTargets(targets, socket))
                    windows.push_back(std::make_shared<DevToolsWindow>(std::move(t)));
                listed = true;
            } catch (const Error&) {
                // No Target domain or no answer: the HTTP list, if the endpoint gave one.
            }
        }
        if (!listed) {
            for (DevToolsTarget& t : pageTargets(list, endpoint))
                windows.push_back(std::make_shared<DevToolsWindow>(std::move(t)));
        }
    }
    setListing(endpoints, std::move(windows));
}

} // namespace pxt
