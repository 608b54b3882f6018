#include "browser/devtools/DevToolsWindows.h"

#include "browser/devtools/DevToolsConnection.h"

#include "dom/Document.h"
#include "dom/SerializerScript.h"
#include "core/Error.h"
#include "core/IniFile.h"
#include "core/ProgramFiles.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace pxt {

namespace {

// A /json/list answer larger than this is no list of browser tabs.
constexpr qint64 kMaxListBytes = 16 * 1024 * 1024;

// "host:port" with the host in lower case (an IPv6 address in brackets), or empty when the text is no
// such endpoint.
QString normalizedEndpoint(QString text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return {};
    const QUrl url(QStringLiteral("http://") + text, QUrl::StrictMode);
    const int port = url.port();
    if (!url.isValid() || url.host().isEmpty() || port <= 0 || !url.path().isEmpty() || !url.userInfo().isEmpty()
        || url.hasQuery() || url.hasFragment())
        return {};
    QString host = url.host().toLower();
    if (QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return host + QLatin1Char(':') + QString::number(port);
}

// What a browser announces in the DevToolsActivePort file of its profile: the first line is the
// port, the second the path of the browser's own socket.
struct ActivePort {
    QString endpoint; // empty when the file holds no port
    QString socketPath;
};

ActivePort readActivePort(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray firstLine = file.readLine(64).trimmed();
    bool ok = false;
    const int port = firstLine.toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        return {};
    const QString socketPath = QString::fromLatin1(file.readLine(512).trimmed());
    const bool pathOk = socketPath.startsWith(QLatin1String("/devtools/browser/"))
        && QUrl(socketPath, QUrl::StrictMode).isValid() && !socketPath.contains(QLatin1Char('?'));
    return {QStringLiteral("127.0.0.1:") + QString::number(port), pathOk ? socketPath : QString()};
}

QString activePortEndpoint(const QString& path) { return readActivePort(path).endpoint; }

QString profileRoot(const DevToolsEndpointSources& sources)
{
    return sources.profileRoot.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                         : sources.profileRoot;
}

QString failureText(const QString& title, const QString& reason)
{
    return QStringLiteral("The page \"%1\" could not be read: %2").arg(title, reason);
}

} // namespace

const QStringList& devToolsProfileFolders()
{
    static const QStringList folders = {
        QStringLiteral("chromium"),
        QStringLiteral("google-chrome"),
        QStringLiteral("google-chrome-beta"),
        QStringLiteral("google-chrome-unstable"),
        QStringLiteral("BraveSoftware/Brave-Browser"),
        QStringLiteral("microsoft-edge"),
        QStringLiteral("microsoft-edge-beta"),
        QStringLiteral("microsoft-edge-dev"),
        QStringLiteral("vivaldi"),
    };
    return folders;
}

QStringList discoverDevToolsEndpoints(const DevToolsEndpointSources& sources)
{
    QStringList endpoints;
    QSet<QString> seen;
    auto add = [&](const QString& text) {
        const QString endpoint = normalizedEndpoint(text);
        if (!endpoint.isEmpty() && !seen.contains(endpoint)) {
            seen.insert(endpoint);
            endpoints << endpoint;
        }
    };

    const QString root = profileRoot(sources);
    if (!root.isEmpty()) {
        for (const QString& folder : devToolsProfileFolders())
            add(activePortEndpoint(root + QLatin1Char('/') + folder + QStringLiteral("/DevToolsActivePort")));
    }
    for (const QString& e : sources.fixedEndpoints)
        add(e);
    const QString settings = sources.settingsFile.isEmpty() ? ProgramFiles::settingsFile()
                                                            : sources.settingsFile;
    const QString configured = IniFile(settings).read(u"Browsers", u"DevToolsEndpoints").value_or(QString());
    for (const QString& e : configured.split(QLatin1Char(','), Qt::SkipEmptyParts))
        add(e);
    return endpoints;
}

QHash<QString, QString> announcedBrowserSockets(const DevToolsEndpointSources& sources)
{
    QHash<QString, QString> sockets;
    const QString root = profileRoot(sources);
    if (root.isEmpty())
        return sockets;
    for (const QString& folder : devToolsProfileFolders()) {
        const ActivePort a = readActivePort(root + QLatin1Char('/') + folder + QStringLiteral("/DevToolsActivePort"));
        if (!a.endpoint.isEmpty() && !a.socketPath.isEmpty() && !sockets.contains(a.endpoint))
            sockets.insert(a.endpoint, QStringLiteral("ws://") + a.endpoint + a.socketPath);
    }
    return sockets;
}

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

std::vector<DevToolsTarget> pageTargets(const QByteArray& jsonList)
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
        targets.push_back({o.value(QLatin1String("title")).toString(), o.value(QLatin1String("url")).toString(),
                           o.value(QLatin1String("webSocketDebuggerUrl")).toString()});
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

QString DevToolsWindow::readerScript(int lazyWaitMs)
{
    // No element handles: the copy has no live channel, so nothing is kept in the page.
    return serializerFunction()
        + QStringLiteral("({handles: false, loadLazy: true, lazyWaitMs: %1, frameSlots: true})").arg(lazyWaitMs);
}

std::shared_ptr<Document> DevToolsWindow::document()
{
    QString json;
    try {
        DevToolsConnection connection(kReadTimeoutMs);
        const QString session = openWindow(connection, m_target);
        json = readDocumentJson(connection, session, &DevToolsWindow::readerScript, kLazyWaitMs);
    } catch (const Error& e) {
        throw Error(failureText(m_target.title, e.text()));
    }
    try {
        return Document::fromJson(json.toUtf8());
    } catch (const Error& e) {
        throw Error(failureText(m_target.title, e.text()));
    }
}

QString DevToolsWindow::evaluateString(const QString& expression)
{
    try {
        DevToolsConnection connection(kReadTimeoutMs);
        const QString session = openWindow(connection, m_target);
        return evaluateStringInIsolatedWorld(connection, session, expression);
    } catch (const Error& e) {
        throw Error(failureText(m_target.title, e.text()));
    }
}

DevToolsWindowList::DevToolsWindowList(DevToolsEndpointSources sources) : m_sources(std::move(sources)) {}

DevToolsWindowList::~DevToolsWindowList() = default;

void DevToolsWindowList::Refresh()
{
    const QStringList endpoints = discoverDevToolsEndpoints(m_sources);
    const QHash<QString, QString> announced = announcedBrowserSockets(m_sources);
    if (!m_network) {
        m_network = std::make_unique<QNetworkAccessManager>();
        m_network->setProxy(QNetworkProxy::NoProxy);
    }

    // Every endpoint is asked at once; the answers are taken in the endpoints' order.
    QEventLoop loop;
    int pending = 0;
    auto get = [&](const QString& endpoint, const char* path) {
        QNetworkRequest request(QUrl(QStringLiteral("http://") + endpoint + QLatin1String(path)));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(kAnswerTimeoutMs);
        QNetworkReply* reply = m_network->get(request);
        ++pending;
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
            if (--pending == 0)
                loop.quit();
        });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
            if (received > kMaxListBytes)
                reply->abort();
        });
        return std::unique_ptr<QNetworkReply>(reply);
    };
    struct Asked {
        QString endpoint;
        std::unique_ptr<QNetworkReply> version;
        std::unique_ptr<QNetworkReply> list;
    };
    std::vector<Asked> asked;
    for (const QString& endpoint : endpoints)
        asked.push_back({endpoint, get(endpoint, "/json/version"), get(endpoint, "/json/list")});
    if (pending > 0) {
        QTimer::singleShot(kAnswerTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // The body of a finished 200 answer; empty otherwise.
    auto body = [&](QNetworkReply& reply) {
        reply.disconnect(&loop);
        if (!reply.isFinished()) {
            reply.abort();
            return QByteArray();
        }
        if (reply.error() != QNetworkReply::NoError
            || reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
            return QByteArray();
        return reply.readAll();
    };

    std::vector<std::shared_ptr<BrowserWindow>> windows;
    for (Asked& a : asked) {
        const QByteArray version = body(*a.version);
        const QByteArray list = body(*a.list);
        QString socket = announced.value(a.endpoint);
        if (socket.isEmpty() && !version.isEmpty()) {
            // Only the endpoint's own socket: an answer cannot send the program elsewhere.
            socket = QJsonDocument::fromJson(version).object().value(QLatin1String("webSocketDebuggerUrl")).toString();
            const QUrl url(socket);
            if (url.scheme() != QLatin1String("ws")
                || normalizedEndpoint(url.host() + QLatin1Char(':') + QString::number(url.port())) != a.endpoint)
                socket.clear();
        }
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
            for (DevToolsTarget& t : pageTargets(list))
                windows.push_back(std::make_shared<DevToolsWindow>(std::move(t)));
        }
    }
    m_endpoints = endpoints;
    m_windows = std::move(windows);
}

std::shared_ptr<BrowserWindow> DevToolsWindowList::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw Error(QStringLiteral("The browser window %1 no longer exists").arg(index));
    return m_windows[size_t(index)];
}

} // namespace pxt
