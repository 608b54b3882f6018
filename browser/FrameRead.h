#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace pxt {

class Document;

// A world of one frame of a page where the program's scripts run apart from the page's own (an
// isolated world over DevTools, a sandbox over BiDi), made ready to read: what each remote protocol
// offers the one read of a page with its frames of another origin (see FrameSlots.h).
class FrameWorld {
public:
    virtual ~FrameWorld() = default;
    // The value of an expression that gives a string (or a promise of one). Throws Error.
    virtual QString evaluateString(const QString& expression) = 0;
    // Runs an expression for what it does. Throws Error.
    virtual void evaluate(const QString& expression) = 0;
    // The world of the frame whose element slot k holds; null when the slot leads to no frame that
    // can be read. Throws Error.
    virtual std::unique_ptr<FrameWorld> slotWorld(int slot) = 0;
};

// The serializer's JSON of the frame of the world, with each of its frames of another origin read in
// that frame's own world and spliced in its place (fillFrameSlots), down to Document::kMaxFrameDepth;
// a frame that cannot be read that way stays as the serializer left it: unreadable. The slots of a
// frame are forgotten once read, failures of that ignored. serializerCall gives the call for a wait
// of lazily loaded images of at most the given time: what the earlier reads of the page left of
// lazyWaitMs (LazyWaitBudget).
QString readFramedJson(FrameWorld& top, const std::function<QString(int lazyWaitMs)>& serializerCall,
                       int lazyWaitMs);

// What the user sees when a window's page cannot be read.
QString windowReadFailure(const QString& title, const QString& reason);

// The document of the window's page from the JSON readJson gives; a failure of the read or of the
// JSON throws Error with windowReadFailure.
std::shared_ptr<Document> windowDocument(const QString& title, const std::function<QString()>& readJson);

} // namespace pxt
