#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace pxt {

// Where the debugging endpoints of the running browsers are looked for. The defaults are the program's;
// tests point each source at something of their own.
struct BrowserEndpointSources {
    // The folder holding the browsers' profile folders ("chromium", "google-chrome", ...); empty: the
    // user's configuration folder (~/.config).
    QString profileRoot;
    // Endpoints asked always, before the configured ones.
    QStringList fixedEndpoints = {QStringLiteral("127.0.0.1:9222")};
    // The settings file holding [Browsers] DevToolsEndpoints=host:port,host:port; empty: pxt.ini in the
    // program folder. Read at every refresh.
    QString settingsFile;
    // The folder of the profiles of the browsers the program starts (one folder per browser); empty:
    // launchedProfilesRoot().
    QString launchedProfiles;
};

// Where the program keeps the profile folders of the browsers it starts: one per browser, below the
// user's data folder.
QString launchedProfilesRoot();

// The endpoint ("127.0.0.1:port") that a browser running with this profile folder announces in it:
// Chromium's DevToolsActivePort, Firefox's WebDriverBiDiServer.json. Empty when it announces none.
QString announcedEndpoint(const QString& profileFolder);

// How long a refresh waits for the endpoints' answers.
inline constexpr int kEndpointAnswerTimeoutMs = 1000;

// "host:port" with the host in lower case (an IPv6 address in brackets), or empty when the text is no
// such endpoint.
QString normalizedEndpoint(QString text);

// The profile folders, below the profile root, where Chromium-family browsers write their
// DevToolsActivePort file.
const QStringList& chromiumProfileFolders();

// Every endpoint as "host:port", in the order profile folders, the program's own browsers' profiles,
// fixed endpoints, settings file, each once. Malformed entries and unreadable files are left out.
QStringList discoverBrowserEndpoints(const BrowserEndpointSources& sources);

// The Chromium browsers' own WebSocket addresses that the profile folders announce (the second line of
// DevToolsActivePort), by endpoint "host:port".
QHash<QString, QString> announcedBrowserSockets(const BrowserEndpointSources& sources);

// What an endpoint answered to a plain HTTP GET: the status (0 when it gave none in time) and the body.
struct EndpointAnswer {
    int status = 0;
    QByteArray body;
};

// Asks every endpoint for every path at once (http://endpoint + path, no proxy, no redirect followed)
// and waits until all have answered or timeoutMs has passed. The answers come by endpoint, then path,
// in the order asked; a body larger than maxBytes is dropped with its answer.
std::vector<std::vector<EndpointAnswer>> askEndpoints(const QStringList& endpoints, const QStringList& paths,
                                                      int timeoutMs, qint64 maxBytes);

// The protocol an endpoint speaks, told by its answers to GET /json/version and GET /session:
// Chromium's DevTools answers the version with a JSON object and /session with 404; Firefox's
// WebDriver BiDi agent answers the version with 404 and a /session without WebSocket upgrade with 400.
enum class EndpointProtocol { Unknown, DevTools, WebDriverBidi };
EndpointProtocol endpointProtocol(const EndpointAnswer& version, const EndpointAnswer& session);

} // namespace pxt
