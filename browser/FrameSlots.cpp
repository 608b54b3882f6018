#include "browser/FrameSlots.h"

#include "core/Error.h"
#include "dom/SerializerScript.h"

#include <algorithm>

namespace pxt {

namespace {

// Where an entry {"slot":k,"error":"..."} of the serializer's text ends (one past its "}"), or -1. A
// quote inside a JSON string is always escaped, so the opening text cannot come from the page.
qsizetype slotEnd(const QString& json, qsizetype from)
{
    const qsizetype error = json.indexOf(QLatin1String(",\"error\":\""), from);
    if (error < 0)
        return -1;
    for (qsizetype i = error + 10; i < json.size(); ++i) {
        if (json[i] == u'\\')
            ++i;
        else if (json[i] == u'"')
            return i + 1 < json.size() && json[i + 1] == u'}' ? i + 2 : -1;
    }
    return -1;
}

} // namespace

QString frameSlotReaderScript(int lazyWaitMs)
{
    // No element handles: the copy has no live channel, so nothing is kept in the page. Only what a
    // harvest reads: on a gallery with much else around its links that is a fraction of the page.
    return serializerFunction()
        + QStringLiteral("({handles: false, loadLazy: true, lazyWaitMs: %1, frameSlots: true, links: true})").arg(lazyWaitMs);
}

QString frameSlotElementExpression(int slot) { return QStringLiteral("globalThis.__pxtSlots[%1]").arg(slot); }

QString forgetFrameSlotsExpression() { return QStringLiteral("delete globalThis.__pxtSlots"); }

int LazyWaitBudget::next()
{
    if (!m_deadline) {
        m_deadline.emplace(m_totalMs);
        return m_totalMs;
    }
    return int(std::clamp<qint64>(m_deadline->remainingTime(), 0, m_totalMs));
}

QString fillFrameSlots(const QString& json, const std::function<QString(int slot)>& readSlot, bool* hadSlots)
{
    static const QString marker = QStringLiteral("{\"slot\":");
    QString out;
    qsizetype done = 0;
    bool any = false;
    for (qsizetype at = json.indexOf(marker); at >= 0; at = json.indexOf(marker, at + 1)) {
        const qsizetype end = slotEnd(json, at);
        if (end < 0)
            break;
        any = true;
        bool ok = false;
        const int slot = json.mid(at + marker.size(), json.indexOf(u',', at) - at - marker.size()).toInt(&ok);
        QString frame;
        if (ok) {
            try {
                frame = readSlot(slot);
            } catch (const Error&) {
                // the frame stays unreadable
            }
        }
        if (!frame.isEmpty()) {
            out += QStringView(json).mid(done, at - done);
            out += frame;
            done = end;
        }
        at = end - 1;
    }
    if (hadSlots)
        *hadSlots = any;
    if (done == 0)
        return json;
    out += QStringView(json).mid(done);
    return out;
}

} // namespace pxt
