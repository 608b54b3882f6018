#include "browser/BrowserEndpoints.h"

#include "core/IniFile.h"
#include "core/ProgramFiles.h"
#include "core/SettingsKeys.h"

#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace pxt {

namespace {

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

// The profile folders of the browsers the program started.
QStringList launchedProfileFolders(const BrowserEndpointSources& sources)
{
    const QDir root(sources.launchedProfiles.isEmpty() ? launchedProfilesRoot() : sources.launchedProfiles);
    QStringList folders;
    for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        folders << root.filePath(name);
    return folders;
}

QString profileRoot(const BrowserEndpointSources& sources)
{
    return sources.profileRoot.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                         : sources.profileRoot;
}

} // namespace

// Beside the program's other folders (~/.config/pixtrawl, ~/.cache/pixtrawl), whatever the running
// program is called.
QString launchedProfilesRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/pixtrawl/browsers");
}

QString announcedEndpoint(const QString& profileFolder)
{
    const QString chromium = readActivePort(profileFolder + QStringLiteral("/DevToolsActivePort")).endpoint;
    if (!chromium.isEmpty())
        return chromium;
    QFile file(profileFolder + QStringLiteral("/WebDriverBiDiServer.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject server = QJsonDocument::fromJson(file.read(4096)).object();
    const int port = server.value(QStringLiteral("ws_port")).toInt();
    if (port <= 0 || port > 65535)
        return {};
    return normalizedEndpoint(server.value(QStringLiteral("ws_host")).toString() + QLatin1Char(':') + QString::number(port));
}

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

const QStringList& chromiumProfileFolders()
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

QStringList discoverBrowserEndpoints(const BrowserEndpointSources& sources)
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
        for (const QString& folder : chromiumProfileFolders())
            add(readActivePort(root + QLatin1Char('/') + folder + QStringLiteral("/DevToolsActivePort")).endpoint);
    }
    for (const QString& folder : launchedProfileFolders(sources))
        add(announcedEndpoint(folder));
    for (const QString& e : sources.fixedEndpoints)
        add(e);
    const QString settings = sources.settingsFile.isEmpty() ? ProgramFiles::settingsFile()
                                                            : sources.settingsFile;
    const QString configured =
        IniFile(settings).read(SettingsKeys::kBrowsersSection, SettingsKeys::kDevToolsEndpoints).value_or(QString());
    for (const QString& e : configured.split(QLatin1Char(','), Qt::SkipEmptyParts))
        add(e);
    return endpoints;
}

QHash<QString, QString> announcedBrowserSockets(const BrowserEndpointSources& sources)
{
    QHash<QString, QString> sockets;
    const QString root = profileRoot(sources);
    QStringList files;
    if (!root.isEmpty()) {
        for (const QString& folder : chromiumProfileFolders())
            files << root + QLatin1Char('/') + folder + QStringLiteral("/DevToolsActivePort");
    }
    for (const QString& folder : launchedProfileFolders(sources))
        files << folder + QStringLiteral("/DevToolsActivePort");
    for (const QString& path : files) {
        const ActivePort a = readActivePort(path);
        if (!a.endpoint.isEmpty() && !a.socketPath.isEmpty() && !sockets.contains(a.endpoint))
            sockets.insert(a.endpoint, QStringLiteral("ws://") + a.endpoint + a.socketPath);
    }
    return sockets;
}

std::vector<std::vector<EndpointAnswer>> askEndpoints(const QStringList& endpoints, const QStringList& paths,
                                                      int timeoutMs, qint64 maxBytes)
{
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QEventLoop loop;
    int pending = 0;
    std::vector<std::vector<std::unique_ptr<QNetworkReply>>> replies(size_t(endpoints.size()));
    for (qsizetype e = 0; e < endpoints.size(); ++e) {
        for (const QString& path : paths) {
            QNetworkRequest request(QUrl(QStringLiteral("http://") + endpoints[e] + path));
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
            request.setTransferTimeout(timeoutMs);
            QNetworkReply* reply = network.get(request);
            ++pending;
            QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
                if (--pending == 0)
                    loop.quit();
            });
            QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64) {
                if (received > maxBytes)
                    reply->abort();
            });
            replies[size_t(e)].emplace_back(reply);
        }
    }
    if (pending > 0) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    std::vector<std::vector<EndpointAnswer>> answers(replies.size());
    for (size_t e = 0; e < replies.size(); ++e) {
        for (const std::unique_ptr<QNetworkReply>& reply : replies[e]) {
            reply->disconnect(&loop);
            EndpointAnswer answer;
            if (!reply->isFinished()) {
                reply->abort();
            } else {
                // An error status is an answer too; a failed connection or an aborted body is none.
                answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                const QNetworkReply::NetworkError error = reply->error();
                if ((error == QNetworkReply::NoError || (answer.status >= 400 && error >= QNetworkReply::ContentAccessDenied))
                    && reply->bytesAvailable() <= maxBytes)
                    answer.body = reply->readAll();
                else
                    answer.status = 0;
            }
            answers[e].push_back(std::move(answer));
        }
    }
    return answers;
}

EndpointProtocol endpointProtocol(const EndpointAnswer& version, const EndpointAnswer& session)
{
    if (version.status == 200 && QJsonDocument::fromJson(version.body).isObject())
        return EndpointProtocol::DevTools;
    if (version.status != 200 && (session.status == 400 || session.status == 426))
        return EndpointProtocol::WebDriverBidi;
    return EndpointProtocol::Unknown;
}

} // namespace pxt
