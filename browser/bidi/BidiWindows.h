#pragma once

#include "browser/BrowserEndpoints.h"
#include "browser/BrowserWindows.h"

#include <QJsonObject>
#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace pxt {

// A top-level browsing context of a browser that speaks WebDriver BiDi (Firefox). Firefox names
// top-level contexts anew in every session, so a later session finds the context again by its
// document (address and time origin), or else by its place in the tree.
struct BidiContext {
    QString title;
    QString url;
    QString context;     // the browsing context id, in the session that listed it
    QString userContext; // its cookie store ("default", or a container's)
    QString socketUrl;   // the browser's ws://host:port/session
    int index = 0;       // its place among the top-level contexts
    int contexts = 0;    // how many there were
    double timeOrigin = 0; // performance.timeOrigin of its document; 0: unknown
};

// The expression that gives a context's title and time origin as a JSON array.
QString contextIdentityExpression();

// The context of a getTree result that is the one listed earlier (see BidiContext); empty when it is
// gone. timeOriginOf reads a candidate's time origin (0 when it cannot).
QString findContext(const QJsonObject& getTree, const BidiContext& listed,
                    const std::function<double(const QString& context)>& timeOriginOf);

// The top-level contexts of a browsingContext.getTree result, in its order, without titles; entries
// without a context id are left out.
std::vector<BidiContext> topLevelContexts(const QJsonObject& getTree, const QString& socketUrl);

// A cookie of a storage.getCookies result; a value given as base64 is decoded. A domain cookie keeps
// its leading dot, as QNetworkCookie has it; one without expiry is a session cookie.
QNetworkCookie cookieFromBidi(const QJsonObject& cookie);

// A running Firefox window or tab. Every read opens a session of its own on the browser and ends it
// right after, so other tools are not locked out longer than that.
class BidiWindow : public BrowserWindow {
public:
    explicit BidiWindow(BidiContext context) : m_context(std::move(context)) {}
    QString locationName() const override { return m_context.title; }
    QString locationUrl() const override { return m_context.url; }
    const BidiContext& context() const { return m_context; }
    // Runs frameSlotReaderScript() in the context's sandbox, and in that of each frame of another
    // origin, and builds its document. Throws Error naming the window's title when the browser cannot
    // be reached, is driven by another program, the page raises an exception, or no answer comes in
    // 10 seconds.
    std::shared_ptr<Document> document() override;
    // storage.getCookies of the window's cookie store, matched against the addresses (CookieJar::matching).
    QList<QNetworkCookie> cookies(const QList<QUrl>& urls) override;
    // Evaluates an expression that gives a string (or a promise of one) in the context's sandbox; the
    // same failures as document().
    QString evaluateString(const QString& expression);

    static constexpr int kReadTimeoutMs = 10000;
    static constexpr int kLazyWaitMs = 3000;

private:
    BidiContext m_context;
};

// The running Firefox windows: the top-level browsing contexts of every endpoint that speaks WebDriver
// BiDi.
class BidiWindowList : public ListedBrowserWindows {
public:
    explicit BidiWindowList(BrowserEndpointSources sources = {});

    // Asks every endpoint at once which protocol it speaks (kAnswerTimeoutMs at most) and connects to
    // each that speaks BiDi (as long again); then opens a session on each, lists its top-level contexts
    // with their titles (read in a sandbox) within kAnswerTimeoutMs more, and ends the session. A session under
    // way is waited for (BidiConnection::kSessionWaitMs at most), since the browser would keep it. An
    // endpoint that does not answer in time, or whose browser has a session open already, is left
    // out without a message.
    void refresh() override;

    static constexpr int kAnswerTimeoutMs = kEndpointAnswerTimeoutMs;

private:
    BrowserEndpointSources m_sources;
};

} // namespace pxt
