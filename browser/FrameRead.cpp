#include "browser/FrameRead.h"

#include "browser/FrameSlots.h"
#include "core/Error.h"
#include "dom/Document.h"

namespace pxt {

namespace {

QString readFrame(FrameWorld& world, const std::function<QString(int)>& serializerCall, LazyWaitBudget& lazyWait,
                  int depth)
{
    const QString json = world.evaluateString(serializerCall(lazyWait.next()));
    bool hadSlots = false;
    const QString filled = fillFrameSlots(json, [&](int slot) {
        // Deeper frames are not even looked for: the model would not take them.
        if (depth + 1 >= Document::kMaxFrameDepth)
            return QString();
        const std::unique_ptr<FrameWorld> frame = world.slotWorld(slot);
        return frame ? readFrame(*frame, serializerCall, lazyWait, depth + 1) : QString();
    }, &hadSlots);
    if (hadSlots) {
        try {
            world.evaluate(forgetFrameSlotsExpression());
        } catch (const Error&) {
            // the elements stay until the page goes
        }
    }
    return filled;
}

} // namespace

QString readFramedJson(FrameWorld& top, const std::function<QString(int lazyWaitMs)>& serializerCall, int lazyWaitMs)
{
    LazyWaitBudget lazyWait(lazyWaitMs);
    return readFrame(top, serializerCall, lazyWait, 0);
}

QString windowReadFailure(const QString& title, const QString& reason)
{
    return QStringLiteral("The page \"%1\" could not be read: %2").arg(title, reason);
}

std::shared_ptr<Document> windowDocument(const QString& title, const std::function<QString()>& readJson)
{
    QString json;
    try {
        json = readJson();
    } catch (const Error& e) {
        throw Error(windowReadFailure(title, e.text()));
    }
    try {
        return Document::fromJson(json.toUtf8());
    } catch (const Error& e) {
        throw Error(windowReadFailure(title, e.text()));
    }
}

} // namespace pxt
