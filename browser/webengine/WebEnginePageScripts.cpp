#include "browser/webengine/WebEnginePageScripts.h"

#include "browser/webengine/WebEngineWriteQueue.h"
#include "core/Error.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <memory>

namespace pxt {

namespace {

// How often a wait runs the deletions posted within it.
constexpr int kDeletionsMs = 20;

// The document's text comes in pieces of this many characters, and has at most so many.
constexpr qint64 kPieceChars = 256 * 1024;
constexpr qint64 kMaxDocumentChars = 256 * 1024 * 1024;

} // namespace

std::optional<QVariant> runAndWait(QWebEnginePage* target, const QString& script, int timeoutMs)
{
    // The answer may come after this call has given up: it lands in shared state, never on the stack.
    struct Answer {
        bool arrived = false;
        QVariant value;
        QPointer<QEventLoop> loop;
    };
    auto answer = std::make_shared<Answer>();
    const QPointer<QWebEnginePage> page(target);

    QEventLoop loop;
    answer->loop = &loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(page, &QObject::destroyed, &loop, &QEventLoop::quit);
    WebEngineWriteQueue::of(page)->flush();
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [answer](const QVariant& value) {
        answer->arrived = true;
        answer->value = value;
        if (answer->loop)
            answer->loop->quit();
    });
    // After a page of another process (a local page after a web page), the engine answers the new
    // page only once it has deleted what served the old one, a deletion it leaves to the event loop;
    // a waiting loop runs deletions posted within it only when it returns, so this one runs them as
    // it goes (those posted by the loops outside it stay theirs).
    QTimer deletions;
    QObject::connect(&deletions, &QTimer::timeout, &loop,
                     [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); });
    if (!answer->arrived) {
        timer.start(timeoutMs);
        deletions.start(kDeletionsMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    answer->loop = nullptr;
    if (!page || !answer->arrived)
        return std::nullopt;
    return answer->value;
}

QByteArray readText(const QPointer<QWebEnginePage>& page, const QString& script, int timeoutMs)
{
    const auto ask = [&](const QString& question) {
        const std::optional<QVariant> value = runAndWait(page, question, timeoutMs);
        if (!value && page)
            throw Error(QStringLiteral("The page did not hand over its document within %1 seconds.")
                            .arg(timeoutMs / 1000.0));
        return value.value_or(QVariant());
    };
    const QVariant length = ask(QStringLiteral("(() => { const text = ") + script
                                + QStringLiteral("; globalThis.__pxtText = text; return text.length; })()"));
    if (!page)
        return {};
    bool isNumber = false;
    const qint64 total = length.toLongLong(&isNumber);
    if (!isNumber || length.typeId() == QMetaType::QString)
        throw Error(QStringLiteral("The page's document could not be read: the page did not run the reader."));
    if (total > kMaxDocumentChars)
        throw Error(QStringLiteral("The page's document is too large to be read (%1 characters).").arg(total));
    QByteArray text;
    text.reserve(qsizetype(total));
    for (qint64 at = 0; at < total;) {
        // A piece never ends inside a surrogate pair.
        const QVariant piece = ask(QStringLiteral("(() => { const t = globalThis.__pxtText; if (typeof t !== 'string') return null;"
                                                  " let end = Math.min(%1 + %2, t.length);"
                                                  " if (end < t.length && (t.charCodeAt(end - 1) & 0xFC00) === 0xD800) end--;"
                                                  " return t.slice(%1, end); })()")
                                       .arg(at)
                                       .arg(kPieceChars));
        if (!page)
            return {};
        const QString part = piece.toString();
        if (piece.typeId() != QMetaType::QString || part.isEmpty())
            throw Error(QStringLiteral("The page changed while its document was being read."));
        text += part.toUtf8();
        at += part.size();
    }
    WebEngineWriteQueue::of(page)->add(QStringLiteral("delete globalThis.__pxtText"));
    return text;
}

} // namespace pxt
