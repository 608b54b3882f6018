#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <optional>

namespace pxt {

// Reading a page through a browser's debugging protocol, with its frames of another origin: the
// serializer reads what the page's origin can reach and leaves a slot {"slot":k,"error":"..."} for
// each frame it cannot, its IFRAME or FRAME element kept as globalThis.__pxtSlots[k] in the world the
// serializer ran in; the caller reads each such frame in a world of its own and splices it in.

// The serializer's call for such a read: what a harvest reads (the title element and the links with
// what lies inside them, see the links option of the serializer), no element handles kept, lazily
// loaded images made to load first (lazyWaitMs at most), frames of another origin left as slots.
QString frameSlotReaderScript(int lazyWaitMs);

// The expression whose value is the IFRAME or FRAME element of slot k.
QString frameSlotElementExpression(int slot);

// The expression that forgets the slots' elements once they are read.
QString forgetFrameSlotsExpression();

// One wait for lazily loaded images over a page and all its frames: the first read gets the whole of
// it, each later one what is left.
class LazyWaitBudget {
public:
    explicit LazyWaitBudget(int totalMs) : m_totalMs(totalMs) {}
    int next();

private:
    int m_totalMs;
    std::optional<QDeadlineTimer> m_deadline;
};

// The serializer's JSON with each slot replaced by readSlot(k), the frame's own JSON, in the order of
// the text (frame order, depth first). A slot whose read gives nothing or throws Error stays as it is:
// an unreadable frame. Returns whether there was any slot through hadSlots.
QString fillFrameSlots(const QString& json, const std::function<QString(int slot)>& readSlot,
                       bool* hadSlots = nullptr);

} // namespace pxt
