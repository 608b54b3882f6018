#include "browser/bidi/BidiWindows.h"

#include "browser/FrameRead.h"
#include "browser/FrameSlots.h"
#include "browser/bidi/BidiConnection.h"
#include "core/Error.h"
#include "core/WebAddress.h"
#include "dom/Document.h"
#include "http/CookieJar.h"
#include "http/Site.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace pxt {

namespace {

// The seconds a JavaScript date reaches either side of 1970: a later expiry is taken as that, which
// a date holds (a number beyond a qint64 has no conversion at all).
constexpr double kMaxExpirySeconds = 8.64e12;

// A plain answer to /json/version or /session is no page list: a few kilobytes at most.
constexpr qint64 kMaxProbeBytes = 64 * 1024;

// The socket and a session on it, with the time of a read for the work in it.
void openSession(BidiConnection& connection, const BidiContext& context)
{
    connection.open(context.socketUrl);
    connection.newSession(BidiWindow::kReadTimeoutMs);
}

double timeOriginIn(BidiConnection& connection, const QString& context)
{
    try {
        const QJsonObject value = evaluateInSandbox(connection, context, QStringLiteral("performance.timeOrigin"));
        return value.value(QLatin1String("value")).toDouble();
    } catch (const Error&) {
        return 0;
    }
}

// A session on the listed context's browser and that context's id in it.
QString openContext(BidiConnection& connection, const BidiContext& listed)
{
    openSession(connection, listed);
    QJsonObject params;
    params.insert(QLatin1String("maxDepth"), 0);
    const QString context = findContext(connection.call(QStringLiteral("browsingContext.getTree"), params), listed,
                                        [&](const QString& c) { return timeOriginIn(connection, c); });
    if (context.isEmpty())
        throw Error(QStringLiteral("the window was closed"));
    return context;
}

} // namespace

std::vector<BidiContext> topLevelContexts(const QJsonObject& getTree, const QString& socketUrl)
{
    std::vector<BidiContext> contexts;
    for (const QJsonValue& v : getTree.value(QLatin1String("contexts")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString id = o.value(QLatin1String("context")).toString();
        if (id.isEmpty())
            continue;
        QString userContext = o.value(QLatin1String("userContext")).toString();
        if (userContext.isEmpty())
            userContext = QStringLiteral("default");
        contexts.push_back({QString(), o.value(QLatin1String("url")).toString(), id, userContext, socketUrl,
                            int(contexts.size())});
    }
    for (BidiContext& c : contexts)
        c.contexts = int(contexts.size());
    return contexts;
}

QString contextIdentityExpression()
{
    return QStringLiteral("JSON.stringify([document.title, performance.timeOrigin])");
}

QString findContext(const QJsonObject& getTree, const BidiContext& listed,
                    const std::function<double(const QString& context)>& timeOriginOf)
{
    const std::vector<BidiContext> now = topLevelContexts(getTree, listed.socketUrl);
    if (listed.timeOrigin != 0) {
        for (const BidiContext& c : now)
            if (c.url == listed.url && timeOriginOf(c.context) == listed.timeOrigin)
                return c.context;
    }
    // The document is gone (reloaded, or another one loaded): the context in the same place, while
    // the browser has as many as when it was listed.
    if (listed.index >= 0 && listed.index < int(now.size()) && int(now.size()) == listed.contexts)
        return now[size_t(listed.index)].context;
    return {};
}

QNetworkCookie cookieFromBidi(const QJsonObject& cookie)
{
    const QJsonObject value = cookie.value(QLatin1String("value")).toObject();
    QByteArray bytes;
    if (value.value(QLatin1String("type")).toString() == QLatin1String("base64"))
        bytes = QByteArray::fromBase64(value.value(QLatin1String("value")).toString().toLatin1());
    else
        bytes = value.value(QLatin1String("value")).toString().toUtf8();
    QNetworkCookie c(cookie.value(QLatin1String("name")).toString().toUtf8(), bytes);
    c.setDomain(cookie.value(QLatin1String("domain")).toString());
    c.setPath(cookie.value(QLatin1String("path")).toString());
    const QJsonValue expiry = cookie.value(QLatin1String("expiry"));
    if (expiry.isDouble())
        c.setExpirationDate(QDateTime::fromSecsSinceEpoch(
            qint64(std::clamp(expiry.toDouble(), -kMaxExpirySeconds, kMaxExpirySeconds)), Qt::UTC));
    c.setSecure(cookie.value(QLatin1String("secure")).toBool());
    c.setHttpOnly(cookie.value(QLatin1String("httpOnly")).toBool());
    const QString sameSite = cookie.value(QLatin1String("sameSite")).toString();
    if (sameSite == QLatin1String("strict"))
        c.setSameSitePolicy(QNetworkCookie::SameSite::Strict);
    else if (sameSite == QLatin1String("lax"))
        c.setSameSitePolicy(QNetworkCookie::SameSite::Lax);
    else if (sameSite == QLatin1String("none"))
        c.setSameSitePolicy(QNetworkCookie::SameSite::None);
    return c;
}

std::shared_ptr<Document> BidiWindow::document()
{
    return windowDocument(m_context.title, [this] {
        BidiConnection connection{QDeadlineTimer(kReadTimeoutMs)};
        const QString context = openContext(connection, m_context);
        QString json = readContextJson(connection, context, &frameSlotReaderScript, kLazyWaitMs);
        connection.endSession();
        return json;
    });
}

QList<QNetworkCookie> BidiWindow::cookies(const QList<QUrl>& urls)
{
    // Only the cookies a request of one of the addresses could carry are asked for, a domain at a
    // time: the store holds the user's whole session.
    QStringList domains;
    for (const QUrl& url : urls) {
        if (isWebAddress(url)) {
            for (const QString& domain : cookieDomainsOf(url.host(QUrl::EncodeUnicode))) {
                if (!domains.contains(domain))
                    domains << domain;
            }
        }
    }
    QList<QNetworkCookie> all;
    if (domains.isEmpty())
        return all;
    try {
        BidiConnection connection{QDeadlineTimer(kReadTimeoutMs)};
        openSession(connection, m_context);
        QJsonObject partition;
        partition.insert(QLatin1String("type"), QStringLiteral("storageKey"));
        partition.insert(QLatin1String("userContext"), m_context.userContext);
        for (const QString& domain : std::as_const(domains)) {
            QJsonObject params;
            params.insert(QLatin1String("partition"), partition);
            params.insert(QLatin1String("filter"), QJsonObject {{QLatin1String("domain"), domain}});
            const QJsonObject result = connection.call(QStringLiteral("storage.getCookies"), params);
            for (const QJsonValue& v : result.value(QLatin1String("cookies")).toArray()) {
                // A cookie without a name or domain is none a browser would send (as with DevTools).
                const QNetworkCookie cookie = cookieFromBidi(v.toObject());
                if (!cookie.name().isEmpty() && !cookie.domain().isEmpty())
                    all << cookie;
            }
        }
        connection.endSession();
    } catch (const Error& e) {
        throw Error(QStringLiteral("The cookies of \"%1\" could not be read: %2").arg(m_context.title, e.text()));
    }
    return CookieJar::matching(all, urls);
}

QString BidiWindow::evaluateString(const QString& expression)
{
    try {
        BidiConnection connection{QDeadlineTimer(kReadTimeoutMs)};
        const QString context = openContext(connection, m_context);
        const QString value = evaluateStringInSandbox(connection, context, expression);
        connection.endSession();
        return value;
    } catch (const Error& e) {
        throw Error(windowReadFailure(m_context.title, e.text()));
    }
}

BidiWindowList::BidiWindowList(BrowserEndpointSources sources) : m_sources(std::move(sources)) {}

void BidiWindowList::refresh()
{
    const QStringList endpoints = discoverBrowserEndpoints(m_sources);
    const std::vector<std::vector<EndpointAnswer>> answers = askEndpoints(
        endpoints, {QStringLiteral("/json/version"), QStringLiteral("/session")}, kAnswerTimeoutMs, kMaxProbeBytes);

    // Every browser that speaks BiDi is connected to at once, within one answer time.
    const QDeadlineTimer deadline(kAnswerTimeoutMs);
    std::vector<std::unique_ptr<BidiConnection>> connections;
    QStringList sockets;
    for (qsizetype e = 0; e < endpoints.size(); ++e) {
        const std::vector<EndpointAnswer>& a = answers[size_t(e)];
        if (endpointProtocol(a[0], a[1]) != EndpointProtocol::WebDriverBidi)
            continue;
        const QString socket = QStringLiteral("ws://") + endpoints[e] + QStringLiteral("/session");
        auto connection = std::make_unique<BidiConnection>(deadline);
        try {
            connection->beginOpen(socket);
        } catch (const Error&) {
            continue;
        }
        connections.push_back(std::move(connection));
        sockets << socket;
    }

    std::vector<std::shared_ptr<BrowserWindow>> windows;
    for (size_t i = 0; i < connections.size(); ++i) {
        BidiConnection& connection = *connections[i];
        try {
            connection.waitOpen();
            connection.newSession(kAnswerTimeoutMs);
            QJsonObject tree;
            tree.insert(QLatin1String("maxDepth"), 0);
            std::vector<BidiContext> contexts =
                topLevelContexts(connection.call(QStringLiteral("browsingContext.getTree"), tree), sockets[qsizetype(i)]);
            for (BidiContext& c : contexts) {
                try {
                    const QJsonArray identity = QJsonDocument::fromJson(
                        evaluateStringInSandbox(connection, c.context, contextIdentityExpression()).toUtf8()).array();
                    c.title = identity.at(0).toString();
                    c.timeOrigin = identity.at(1).toDouble();
                } catch (const Error&) {
                    // a context between two documents, or out of time: listed without a title
                }
            }
            connection.endSession();
            for (BidiContext& c : contexts)
                windows.push_back(std::make_shared<BidiWindow>(std::move(c)));
        } catch (const Error&) {
            // Busy, silent or gone: left out. The connection ends its session, if any, as it goes.
        }
        connections[i].reset();
    }
    setListing(endpoints, std::move(windows));
}

} // namespace pxt
