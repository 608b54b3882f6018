#include "browser/devtools/DevToolsWindows.h"

#include "dom/Document.h"
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
#include <QWebSocket>

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

// The endpoint a browser announces in the DevToolsActivePort file of its profile: the first line is
// the port, the second the path of the browser's own socket.
QString activePortEndpoint(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray firstLine = file.readLine(64).trimmed();
    bool ok = false;
    const int port = firstLine.toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        return {};
    return QStringLiteral("127.0.0.1:") + QString::number(port);
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

    QString root = sources.profileRoot;
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
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

std::vector<DevToolsTarget> pageTargets(const QByteArray& jsonList)
{
    std::vector<DevToolsTarget> targets;
    const QJsonDocument doc = QJsonDocument::fromJson(jsonList);
    if (!doc.isArray())
        return targets;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        if (o.value(QLatin1String("type")).toString() != QLatin1String("page"))
            continue;
        targets.push_back({o.value(QLatin1String("title")).toString(), o.value(QLatin1String("url")).toString(),
                           o.value(QLatin1String("webSocketDebuggerUrl")).toString()});
    }
    return targets;
}

std::shared_ptr<Document> DevToolsWindow::document()
{
    const QString json = evaluateString(serializerScript());
    try {
        return Document::fromJson(json.toUtf8());
    } catch (const Error& e) {
        throw Error(failureText(m_target.title, e.text()));
    }
}

QString DevToolsWindow::evaluateString(const QString& expression)
{
    const QString& title = m_target.title;
    const QUrl address(m_target.webSocketDebuggerUrl);
    if (m_target.webSocketDebuggerUrl.isEmpty() || !address.isValid()
        || (address.scheme() != QLatin1String("ws") && address.scheme() != QLatin1String("wss")))
        throw Error(failureText(title, QStringLiteral("the browser offers no debugger connection to it")));

    QJsonObject params;
    params.insert(QLatin1String("expression"), expression);
    params.insert(QLatin1String("returnByValue"), true);
    QJsonObject request;
    request.insert(QLatin1String("id"), 1);
    request.insert(QLatin1String("method"), QLatin1String("Runtime.evaluate"));
    request.insert(QLatin1String("params"), params);
    const QString requestText = QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact));

    QWebSocket socket; // no Origin header: the browser accepts such clients without --remote-allow-origins
    socket.setProxy(QNetworkProxy::NoProxy);
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QString json;
    QString failure;
    bool answered = false;
    auto fail = [&](const QString& reason) {
        if (!answered) {
            answered = true;
            failure = reason;
        }
        loop.quit();
    };

    QObject::connect(&socket, &QWebSocket::connected, &loop, [&] { socket.sendTextMessage(requestText); });
    QObject::connect(&socket, &QWebSocket::textMessageReceived, &loop, [&](const QString& message) {
        const QJsonObject answer = QJsonDocument::fromJson(message.toUtf8()).object();
        if (answer.value(QLatin1String("id")).toInt() != 1)
            return; // an event, not our answer
        const QJsonObject outer = answer.value(QLatin1String("result")).toObject();
        const QJsonObject value = outer.value(QLatin1String("result")).toObject();
        if (answer.contains(QLatin1String("error"))) {
            fail(answer.value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString());
        } else if (outer.contains(QLatin1String("exceptionDetails"))) {
            const QJsonObject details = outer.value(QLatin1String("exceptionDetails")).toObject();
            QString text = details.value(QLatin1String("exception")).toObject()
                               .value(QLatin1String("description")).toString();
            if (text.isEmpty())
                text = details.value(QLatin1String("text")).toString();
            fail(QStringLiteral("the page raised an exception: ") + text.section(QLatin1Char('\n'), 0, 0));
        } else if (value.value(QLatin1String("type")).toString() != QLatin1String("string")) {
            fail(QStringLiteral("the page's answer is no document"));
        } else if (!answered) {
            answered = true;
            json = value.value(QLatin1String("value")).toString();
            loop.quit();
        }
    });
    QObject::connect(&socket, &QWebSocket::disconnected, &loop,
                     [&] { fail(QStringLiteral("the connection was closed")); });
    QObject::connect(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), &loop,
                     [&](QAbstractSocket::SocketError) { fail(socket.errorString()); });
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        fail(QStringLiteral("no answer within %1 seconds").arg(kReadTimeoutMs / 1000));
    });

    deadline.start(kReadTimeoutMs);
    socket.open(address);
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    socket.disconnect(&loop);
    deadline.stop();
    socket.abort();

    if (!failure.isEmpty() || !answered)
        throw Error(failureText(title, failure.isEmpty() ? QStringLiteral("no answer") : failure));
    return json;
}

DevToolsWindowList::DevToolsWindowList(DevToolsEndpointSources sources) : m_sources(std::move(sources)) {}

DevToolsWindowList::~DevToolsWindowList() = default;

void DevToolsWindowList::Refresh()
{
    const QStringList endpoints = discoverDevToolsEndpoints(m_sources);
    if (!m_network) {
        m_network = std::make_unique<QNetworkAccessManager>();
        m_network->setProxy(QNetworkProxy::NoProxy);
    }

    // Every endpoint is asked at once; the answers are taken in the endpoints' order.
    QEventLoop loop;
    int pending = 0;
    std::vector<std::unique_ptr<QNetworkReply>> replies;
    for (const QString& endpoint : endpoints) {
        QNetworkRequest request(QUrl(QStringLiteral("http://") + endpoint + QStringLiteral("/json/list")));
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
        replies.emplace_back(reply);
    }
    if (pending > 0) {
        QTimer::singleShot(kAnswerTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    std::vector<std::shared_ptr<BrowserWindow>> windows;
    for (auto& reply : replies) {
        reply->disconnect(&loop);
        if (!reply->isFinished()) {
            reply->abort();
            continue;
        }
        if (reply->error() != QNetworkReply::NoError
            || reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
            continue;
        for (DevToolsTarget& t : pageTargets(reply->readAll()))
            windows.push_back(std::make_shared<DevToolsWindow>(std::move(t)));
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
