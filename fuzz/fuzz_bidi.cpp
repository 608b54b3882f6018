// A WebDriver BiDi answer as Firefox sends it, read by every reader of the program's answers: the
// command's result or refusal, the top-level contexts of browsingContext.getTree and the context
// found again in them, the cookies of storage.getCookies, the value of script.evaluate (an exception,
// a string, a frame's window), and the one read of a page whose frames of another origin are read in
// their own worlds: the evaluated string is the top frame's serializer text, "frames" the texts of
// the other frames its slots lead to.
#include "browser/FrameRead.h"
#include "browser/FrameSlots.h"
#include "browser/bidi/BidiConnection.h"
#include "browser/bidi/BidiWindows.h"
#include "core/Error.h"
#include "dom/Document.h"
#include "http/CookieJar.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kSocket = QStringLiteral("ws://127.0.0.1:9222/session");
const QString kTop = QStringLiteral("top");

// Frame reads of one page at most: a frame whose slots lead back to frames read already would
// otherwise be read again at every depth.
constexpr int kMaxReads = 64;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

QString str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

void checkCommandResult(const QJsonObject& answer)
{
    const bool refused = str(answer, "type") == QLatin1String("error") || answer.contains(QLatin1String("error"));
    QString code = QStringLiteral("left from before");
    try {
        const QJsonObject result = pxt::bidiCommandResult(answer, code);
        if (refused || result != answer.value(QLatin1String("result")).toObject() || !code.isEmpty())
            fail("a refusal gave a result, or an answer another result or an error code");
    } catch (const pxt::Error& e) {
        if (!refused || e.text().isEmpty() || code != str(answer, "error"))
            fail("an answer that is no refusal threw, or a refusal without a reason or its error code");
    }
}

void checkContexts(const QJsonObject& result, const QJsonObject& answer)
{
    const std::vector<pxt::BidiContext> now = pxt::topLevelContexts(result, kSocket);
    qsizetype k = 0;
    for (const QJsonValue& v : result.value(QLatin1String("contexts")).toArray()) {
        const QJsonObject o = v.toObject();
        if (str(o, "context").isEmpty())
            continue;
        if (k >= qsizetype(now.size()))
            fail("an entry with a context id is left out");
        const pxt::BidiContext& c = now[size_t(k)];
        if (c.context != str(o, "context") || c.url != str(o, "url") || c.userContext.isEmpty()
            || c.socketUrl != kSocket || c.index != k || c.contexts != int(now.size()) || !c.title.isEmpty()
            || c.timeOrigin != 0)
            fail("a context is not the entry it came from, in its place");
        ++k;
    }
    if (k != qsizetype(now.size()))
        fail("a context without an entry that names it");

    // The listed context, found again by its document or its place.
    const QJsonObject l = answer.value(QLatin1String("listed")).toObject();
    const pxt::BidiContext listed{QString(), str(l, "url"), QStringLiteral("old"), QStringLiteral("default"), kSocket,
                                  l.value(QLatin1String("index")).toInt(), l.value(QLatin1String("contexts")).toInt(),
                                  l.value(QLatin1String("timeOrigin")).toDouble()};
    auto timeOriginOf = [](const QString& context) { return double(qHash(context) % 3); };
    const QString found = pxt::findContext(result, listed, timeOriginOf);
    QString sameDocument;
    for (const pxt::BidiContext& c : now) {
        if (listed.timeOrigin != 0 && c.url == listed.url && timeOriginOf(c.context) == listed.timeOrigin) {
            sameDocument = c.context;
            break;
        }
    }
    if (!sameDocument.isEmpty() && found != sameDocument)
        fail("the context with the listed document is not the one found");
    if (!found.isEmpty() && std::none_of(now.begin(), now.end(), [&](const auto& c) { return c.context == found; }))
        fail("the context found is none of the tree's");
}

void checkCookies(const QJsonObject& result, const std::vector<pxt::BidiContext>& contexts)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QList<QNetworkCookie> all;
    for (const QJsonValue& v : result.value(QLatin1String("cookies")).toArray()) {
        const QJsonObject o = v.toObject();
        const QNetworkCookie c = pxt::cookieFromBidi(o);
        const QJsonObject value = o.value(QLatin1String("value")).toObject();
        const QByteArray bytes = str(value, "type") == QLatin1String("base64")
                                     ? QByteArray::fromBase64(str(value, "value").toLatin1())
                                     : str(value, "value").toUtf8();
        if (c.name() != str(o, "name").toUtf8() || c.value() != bytes
            || c.isSecure() != o.value(QLatin1String("secure")).toBool()
            || c.isHttpOnly() != o.value(QLatin1String("httpOnly")).toBool())
            fail("a cookie is not the record it came from");
        // A record with an expiry never makes a session cookie, nor one that lives on past an expiry
        // gone by, nor one that is gone before an expiry still to come.
        const QJsonValue expiry = o.value(QLatin1String("expiry"));
        if (expiry.isDouble()) {
            const double at = expiry.toDouble();
            if (c.isSessionCookie())
                fail("a cookie with an expiry became a session cookie");
            const qint64 until = c.expirationDate().toSecsSinceEpoch();
            if ((at < double(now - 1) && until >= now) || (at > double(now + 1) && until <= now))
                fail("a cookie expires on the other side of now than its record says");
        } else if (!c.isSessionCookie()) {
            fail("a cookie without an expiry is no session cookie");
        }
        all << c;
    }
    // The window's cookies for its gallery: some of the browser's, in their order.
    QList<QUrl> urls;
    for (const pxt::BidiContext& c : contexts)
        urls << QUrl(c.url);
    qsizetype at = 0;
    for (const QNetworkCookie& c : pxt::CookieJar::matching(all, urls)) {
        while (at < all.size() && !(all[at] == c))
            ++at;
        if (at++ >= all.size())
            fail("a cookie matched that the browser did not give, or out of its order");
    }
}

// The worlds of a page's frames: frame k's serializer text is texts[k]; slot s of any frame leads to
// frame s modulo their number, a slot of 1000 and more fails, a negative one leads to no frame.
struct FakePage {
    QStringList texts;
    int reads = 0;
};

class FakeWorld : public pxt::FrameWorld {
public:
    FakeWorld(FakePage& page, int frame, int depth) : m_page(page), m_frame(frame), m_depth(depth) {}

    QString evaluateString(const QString&) override
    {
        if (m_depth >= pxt::Document::kMaxFrameDepth)
            fail("a frame read deeper than the document model takes");
        ++m_page.reads;
        return m_page.texts[m_frame];
    }

    void evaluate(const QString& expression) override
    {
        if (expression != pxt::forgetFrameSlotsExpression())
            fail("a frame's world is asked to run something other than forgetting its slots");
    }

    std::unique_ptr<pxt::FrameWorld> slotWorld(int slot) override
    {
        if (slot < 0 || m_page.reads >= kMaxReads)
            return nullptr;
        if (slot >= 1000)
            throw pxt::Error(QStringLiteral("the frame is gone"));
        return std::make_unique<FakeWorld>(m_page, slot % int(m_page.texts.size()), m_depth + 1);
    }

private:
    FakePage& m_page;
    int m_frame;
    int m_depth;
};

void checkFrameRead(const QString& top, const QJsonObject& answer)
{
    if (pxt::fillFrameSlots(top, [](int) { return QString(); }) != top)
        fail("a text whose slots were all unreadable is not left as it was");

    FakePage page{{top}};
    for (const QJsonValue& v : answer.value(QLatin1String("frames")).toArray())
        page.texts << v.toString();
    FakeWorld world(page, 0, 0);
    try {
        pxt::windowDocument(QStringLiteral("t"), [&] {
            return pxt::readFramedJson(world, [](int ms) { return QString::number(ms); }, 0);
        });
    } catch (const pxt::Error& e) {
        if (!e.text().startsWith(pxt::windowReadFailure(QStringLiteral("t"), QString())))
            fail("a page that cannot be read does not name its window");
    }
}

void checkEvaluation(const QJsonObject& result, const QJsonObject& answer)
{
    const bool exception = str(result, "type") == QLatin1String("exception");
    QJsonObject value;
    try {
        value = pxt::bidiEvaluationValue(result);
        if (exception)
            fail("an exception in the page gives a value");
    } catch (const pxt::Error& e) {
        if (!exception || e.text().contains(QLatin1Char('\n')))
            fail("a value that is no exception threw, or an exception with more than one line of its text");
        return;
    }

    const QString frame = pxt::bidiWindowContext(value, kTop);
    if (!frame.isEmpty()
        && (frame == kTop || str(value, "type") != QLatin1String("window")
            || frame != str(value.value(QLatin1String("value")).toObject(), "context")))
        fail("a frame's context from a value that is no other window");

    const bool isString = str(value, "type") == QLatin1String("string");
    QString text;
    try {
        text = pxt::bidiStringValue(value);
    } catch (const pxt::Error&) {
        if (isString)
            fail("a string value throws");
        return;
    }
    if (!isString || text != str(value, "value"))
        fail("a string from a value that is none, or another one");
    checkFrameRead(text, answer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QJsonObject answer = QJsonDocument::fromJson(bytes).object();
    checkCommandResult(answer);
    // Each reader is given the result, also that of a refusal.
    const QJsonObject result = answer.value(QLatin1String("result")).toObject();
    checkContexts(result, answer);
    checkCookies(result, pxt::topLevelContexts(result, kSocket));
    checkEvaluation(result, answer);
    return 0;
}
