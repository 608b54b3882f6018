// The answers of a DevTools endpoint: /json/list, /json/version, Target.getTargets and
// Network.getCookies, and the
// serializer's text whose frame slots are filled with the documents of other frames, read as the
// document it then is. A text that begins with a digit is also what a browser announces in its
// DevToolsActivePort file and the endpoints the settings file names.
#include "browser/BrowserEndpoints.h"
#include "browser/FrameSlots.h"
#include "browser/devtools/DevToolsWindows.h"
#include "core/Error.h"
#include "dom/Document.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

const QString kEndpoint = QStringLiteral("127.0.0.1:9222");
const QString kBrowserSocket = QStringLiteral("ws://127.0.0.1:9222/devtools/browser/1");

// The document of a frame that could be read on its own.
const QString kFrame = QStringLiteral(
    R"({"v":2,"id":0,"url":"https://frame.example/","title":"f","base":"https://frame.example/",)"
    R"("nodes":[-1,2,"html",0,0,4,"a",1,"href","x","https://frame.example/x"],"frames":[]})");

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

// The endpoints and browser sockets that a DevToolsActivePort file and a settings file holding the
// bytes give.
void readAnnouncements(const QByteArray& bytes)
{
    static QTemporaryDir root;
    static const bool made = root.isValid() && QDir(root.path()).mkpath(QStringLiteral("chromium"))
                             && QDir(root.path()).mkpath(QStringLiteral("launched/firefox"));
    if (!made)
        std::abort();
    write(root.filePath(QStringLiteral("chromium/DevToolsActivePort")), bytes);
    write(root.filePath(QStringLiteral("pxt.ini")), "[Browsers]\r\nDevToolsEndpoints=" + bytes);
    write(root.filePath(QStringLiteral("launched/firefox/WebDriverBiDiServer.json")), bytes);
    const pxt::BrowserEndpointSources sources{root.path(), {}, root.filePath(QStringLiteral("pxt.ini")),
                                              root.filePath(QStringLiteral("launched"))};
    for (const QString& endpoint : pxt::discoverBrowserEndpoints(sources)) {
        if (endpoint.isEmpty() || endpoint.contains(QLatin1Char('/')))
            std::abort();
    }
    const QHash<QString, QString> sockets = pxt::announcedBrowserSockets(sources);
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        if (!it.value().startsWith(QStringLiteral("ws://127.0.0.1:")))
            std::abort();
    }
}

// Each cookie has a name and a domain; one with an expiry expires, on the side of now its record says.
void checkCookies(const QJsonObject& getCookies)
{
    const QList<QNetworkCookie> cookies = pxt::cookiesFromDevTools(getCookies);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    qsizetype k = 0;
    for (const QJsonValue& v : getCookies.value(QLatin1String("cookies")).toArray()) {
        const QJsonObject o = v.toObject();
        if (o.value(QLatin1String("name")).toString().isEmpty() || o.value(QLatin1String("domain")).toString().isEmpty())
            continue;
        if (k >= cookies.size())
            std::abort();
        const QNetworkCookie& c = cookies[k++];
        if (c.name().isEmpty() || c.domain().isEmpty())
            std::abort();
        const double expires = o.value(QLatin1String("expires")).toDouble(-1);
        if (o.value(QLatin1String("session")).toBool() || expires <= 0)
            continue;
        if (c.isSessionCookie() || (expires > double(now + 1) && c.expirationDate().toSecsSinceEpoch() <= now))
            std::abort();
    }
    if (k != cookies.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    // A page of /json/list is read through its own socket, on the endpoint the list came from.
    for (const pxt::DevToolsTarget& t : pxt::pageTargets(bytes, kEndpoint)) {
        if (!t.targetId.isEmpty() || !t.browserWebSocketUrl.isEmpty())
            std::abort();
        if (!t.webSocketDebuggerUrl.isEmpty() && !t.webSocketDebuggerUrl.startsWith(QLatin1String("ws://")))
            std::abort();
    }
    for (const pxt::DevToolsTarget& t : pxt::pageTargets(QJsonDocument::fromJson(bytes).object(), kBrowserSocket)) {
        if (t.targetId.isEmpty() || t.browserWebSocketUrl != kBrowserSocket)
            std::abort();
    }
    checkCookies(QJsonDocument::fromJson(bytes).object());
    const QString socket = pxt::versionBrowserSocket(bytes, kEndpoint);
    if (!socket.isEmpty() && !socket.startsWith(QLatin1String("ws://")))
        std::abort();

    // Odd slots are frames that could be read; even ones stay as the serializer left them.
    bool anySlot = false;
    const QString filled = pxt::fillFrameSlots(
        QString::fromUtf8(bytes), [](int slot) { return slot % 2 ? kFrame : QString(); }, &anySlot);
    try {
        pxt::Document::fromJson(filled.toUtf8());
    } catch (const pxt::Error&) {
    }

    // The files cost a write each: only for texts that begin as a port does.
    if (!bytes.isEmpty() && bytes[0] >= '0' && bytes[0] <= '9')
        readAnnouncements(bytes);
    return 0;
}
