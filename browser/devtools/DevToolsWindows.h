#pragma once

#include "browser/BrowserWindows.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QNetworkAccessManager;

namespace pxt {

// Where the DevTools endpoints of the running browsers are looked for. The defaults are the program's;
// tests point each source at something of their own.
struct DevToolsEndpointSources {
    // The folder holding the browsers' profile folders ("chromium", "google-chrome", ...); empty: the
    // user's configuration folder (~/.config).
    QString profileRoot;
    // Endpoints asked always, before the configured ones.
    QStringList fixedEndpoints = {QStringLiteral("127.0.0.1:9222")};
    // The settings file holding [Browsers] DevToolsEndpoints=host:port,host:port; empty: pxt.ini in the
    // program folder. Read at every refresh.
    QString settingsFile;
};

// The profile folders, below the profile root, where Chromium-family browsers write their
// DevToolsActivePort file.
const QStringList& devToolsProfileFolders();

// Every endpoint as "host:port", in the order profile folders, fixed endpoints, settings file, each
// once. Malformed entries and unreadable files are left out.
QStringList discoverDevToolsEndpoints(const DevToolsEndpointSources& sources);

// The browsers' own WebSocket addresses that the profile folders announce (the second line of
// DevToolsActivePort), by endpoint "host:port".
QHash<QString, QString> announcedBrowserSockets(const DevToolsEndpointSources& sources);

// One page target: from the browser's Target.getTargets (id and the browser's socket), or from an
// endpoint's /json/list (the page's own socket).
struct DevToolsTarget {
    QString title;
    QString url;
    QString webSocketDebuggerUrl; // the page's own socket; empty when reached through the browser's
    QString targetId = {};
    QString browserWebSocketUrl = {};
};

// No browser has more tabs than this; the rest of a longer list is left out.
constexpr int kMaxPageTargets = 10000;

// The targets of type "page" of a /json/list answer, in its order, at most kMaxPageTargets; other types
// and text that is not a JSON array are left out. A page without a debugger address stays: reading it
// fails with its title.
std::vector<DevToolsTarget> pageTargets(const QByteArray& jsonList);

// The targets of type "page" of a Target.getTargets result, in its order, at most kMaxPageTargets, each
// to be read through the browser's socket; entries without a target id are left out.
std::vector<DevToolsTarget> pageTargets(const QJsonObject& getTargets, const QString& browserWebSocketUrl);

// A running browser window: a page target, read through its DevTools WebSocket.
class DevToolsWindow : public BrowserWindow {
public:
    explicit DevToolsWindow(DevToolsTarget target) : m_target(std::move(target)) {}
    QString LocationName() const override { return m_target.title; }
    QString LocationURL() const override { return m_target.url; }
    const QString& webSocketDebuggerUrl() const { return m_target.webSocketDebuggerUrl; }
    // Through the browser's socket when the target has one (a session attached with flatten), else
    // through the page's own socket.
    // Runs readerScript() in an isolated world of the page, and of each frame of another origin, and
    // builds its document (readDocumentJson). Throws Error naming the window's title when the page
    // cannot be reached, raises an exception, or gives no answer in 10 seconds.
    std::shared_ptr<Document> document() override;
    // The serializer's call: no element handles kept, lazily loaded images made to load first
    // (lazyWaitMs at most), frames of another origin left for their own read.
    static QString readerScript(int lazyWaitMs = kLazyWaitMs);
    // Evaluates an expression that gives a string (or a promise of one) in an isolated world of the
    // page and returns that string; the same failures as document().
    QString evaluateString(const QString& expression);

    static constexpr int kReadTimeoutMs = 10000;
    static constexpr int kLazyWaitMs = 3000;

private:
    DevToolsTarget m_target;
};

// The running browser windows: the page targets of every DevTools endpoint that answers.
class DevToolsWindowList : public BrowserWindowList {
public:
    explicit DevToolsWindowList(DevToolsEndpointSources sources = {});
    ~DevToolsWindowList() override;

    // Asks every endpoint at once for /json/version and /json/list and waits about a second at most;
    // then lists each endpoint's pages through the browser's socket (announced in DevToolsActivePort
    // or by /json/version) with Target.getTargets, or, where that fails, from /json/list. An endpoint
    // that does not answer in that time is left out without a message.
    void Refresh() override;
    int Count() const override { return int(m_windows.size()); }
    std::shared_ptr<BrowserWindow> Item(int index) const override;

    // The endpoints the last refresh asked.
    const QStringList& endpoints() const { return m_endpoints; }
    QStringList Endpoints() const override { return m_endpoints; }

    static constexpr int kAnswerTimeoutMs = 1000;

private:
    DevToolsEndpointSources m_sources;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QStringList m_endpoints;
    std::vector<std::shared_ptr<BrowserWindow>> m_windows;
};

} // namespace pxt
