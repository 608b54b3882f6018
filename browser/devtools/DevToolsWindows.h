#pragma once

#include "browser/BrowserEndpoints.h"
#include "browser/BrowserWindows.h"
#include "browser/FrameSlots.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace pxt {

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
// fails with its title. A debugger address that is not a ws:// address of the endpoint "host:port" the
// list came from counts as none, so that an answer cannot send the program elsewhere.
std::vector<DevToolsTarget> pageTargets(const QByteArray& jsonList, const QString& endpoint);

// The targets of type "page" of a Target.getTargets result, in its order, at most kMaxPageTargets, each
// to be read through the browser's socket; entries without a target id are left out.
std::vector<DevToolsTarget> pageTargets(const QJsonObject& getTargets, const QString& browserWebSocketUrl);

// The browser's own socket a /json/version answer of the endpoint "host:port" names: only a ws://
// address of that very endpoint, so that an answer cannot send the program elsewhere; empty otherwise.
QString versionBrowserSocket(const QByteArray& version, const QString& endpoint);

// The cookies of a Network.getCookies result; entries without a name or a domain are left out.
QList<QNetworkCookie> cookiesFromDevTools(const QJsonObject& getCookies);

// A running browser window: a page target, read through its DevTools WebSocket.
class DevToolsWindow : public BrowserWindow {
public:
    explicit DevToolsWindow(DevToolsTarget target) : m_target(std::move(target)) {}
    QString locationName() const override { return m_target.title; }
    QString locationUrl() const override { return m_target.url; }
    const QString& webSocketDebuggerUrl() const { return m_target.webSocketDebuggerUrl; }
    // Through the browser's socket when the target has one (a session attached with flatten), else
    // through the page's own socket.
    // Runs readerScript() in an isolated world of the page, and of each frame of another origin, and
    // builds its document (readDocumentJson). Throws Error naming the window's title when the page
    // cannot be reached, raises an exception, or gives no answer in 10 seconds.
    std::shared_ptr<Document> document() override;
    // The serializer's call (frameSlotReaderScript).
    static QString readerScript(int lazyWaitMs = kLazyWaitMs) { return frameSlotReaderScript(lazyWaitMs); }
    // Evaluates an expression that gives a string (or a promise of one) in an isolated world of the
    // page and returns that string; the same failures as document().
    QString evaluateString(const QString& expression);
    // Network.getCookies for the addresses, through the page's session.
    QList<QNetworkCookie> cookies(const QList<QUrl>& urls) override;

    static constexpr int kReadTimeoutMs = 10000;
    static constexpr int kLazyWaitMs = 3000;

private:
    DevToolsTarget m_target;
};

// The running browser windows: the page targets of every DevTools endpoint that answers.
class DevToolsWindowList : public ListedBrowserWindows {
public:
    explicit DevToolsWindowList(BrowserEndpointSources sources = {});
    ~DevToolsWindowList() override;

    // Asks every endpoint at once for /json/version, /json/list and /session and waits about a second
    // at most; an endpoint that speaks WebDriver BiDi is left to its own list. Then lists each endpoint's pages through the browser's socket (announced in DevToolsActivePort
    // or by /json/version) with Target.getTargets, or, where that fails, from /json/list. An endpoint
    // that does not answer in that time is left out without a message.
    void refresh() override;


    static constexpr int kAnswerTimeoutMs = kEndpointAnswerTimeoutMs;

private:
    BrowserEndpointSources m_sources;
};

} // namespace pxt
