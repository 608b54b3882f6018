#pragma once

#include "browser/BrowserWindows.h"

#include <QByteArray>
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

// One target of an endpoint's /json/list.
struct DevToolsTarget {
    QString title;
    QString url;
    QString webSocketDebuggerUrl;
};

// The targets of type "page" of a /json/list answer, in its order; other types and text that is not a
// JSON array are left out. A page without a debugger address stays: reading it fails with its title.
std::vector<DevToolsTarget> pageTargets(const QByteArray& jsonList);

// A running browser window: a page target, read through its DevTools WebSocket.
class DevToolsWindow : public BrowserWindow {
public:
    explicit DevToolsWindow(DevToolsTarget target) : m_target(std::move(target)) {}
    QString LocationName() const override { return m_target.title; }
    QString LocationURL() const override { return m_target.url; }
    const QString& webSocketDebuggerUrl() const { return m_target.webSocketDebuggerUrl; }
    // Runs the serializer in the page and builds its document. Throws Error naming the window's
    // title when the page cannot be reached, raises an exception, or gives no answer in 10 seconds.
    std::shared_ptr<Document> document() override;
    // Evaluates an expression that gives a string in the page and returns that string; the same
    // failures as document().
    QString evaluateString(const QString& expression);

    static constexpr int kReadTimeoutMs = 10000;

private:
    DevToolsTarget m_target;
};

// The running browser windows: the page targets of every DevTools endpoint that answers.
class DevToolsWindowList : public BrowserWindowList {
public:
    explicit DevToolsWindowList(DevToolsEndpointSources sources = {});
    ~DevToolsWindowList() override;

    // Asks every endpoint for its targets at once and waits about a second at most; an endpoint that
    // does not answer in that time is left out without a message.
    void Refresh() override;
    int Count() const override { return int(m_windows.size()); }
    std::shared_ptr<BrowserWindow> Item(int index) const override;

    // The endpoints the last refresh asked.
    const QStringList& endpoints() const { return m_endpoints; }

    static constexpr int kAnswerTimeoutMs = 1000;

private:
    DevToolsEndpointSources m_sources;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QStringList m_endpoints;
    std::vector<std::shared_ptr<BrowserWindow>> m_windows;
};

} // namespace pxt
