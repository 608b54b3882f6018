#include "harvest/SizeProbe.h"

#include "core/Error.h"
#include "dom/Document.h"
#include "harvest/LinkAnswers.h"
#include "harvest/LinkHelpers.h"
#include "http/HttpClient.h"
#include "pages/SizeText.h"
#include "settings/Settings.h"

#include <algorithm>

namespace pxt {

namespace {

bool isSuccess(int reply) { return reply >= 200 && reply <= 299; }

} // namespace

SizeProbe::SizeProbe(const Settings& settings)
    : m_settings(settings), m_idleLimitMs(HttpClient::kDefaultIdleLimitMs)
{
    addClient();
}

SizeProbe::~SizeProbe()
{
    dropRequests();
    for (Slot& slot : m_slots) {
        slot.client->onPacketReceived = nullptr;
        slot.client->onSuccess = nullptr;
        slot.client->onDone = nullptr;
    }
}

void SizeProbe::addClient()
{
    m_clients.push_back(std::make_unique<HttpClient>(m_idleLimitMs));
    m_clients.back()->setSession(m_session);
    m_slots.push_back(Slot {m_clients.back().get(), nullptr, {}});
    wire(m_slots.back(), m_slots.size() - 1);
}

void SizeProbe::setIdleLimit(int ms)
{
    m_idleLimitMs = ms;
    for (Slot& slot : m_slots)
        slot.client->setIdleLimit(ms);
}

void SizeProbe::wire(Slot& slot, size_t at)
{
    slot.client->onPacketReceived = [this, at] { packetReceived(at); };
    slot.client->onSuccess = nullptr;
    slot.client->onDone = [this, at] { done(at); };
}

// --- the run -----------------------------------------------------------------------------------------

void SizeProbe::start(std::shared_ptr<Document> doc)
{
    dropRequests();
    m_doc = std::move(doc);
    m_state = State::Walking;
    m_running = true;
    m_next = 0;
    m_visited = nullptr;
    m_parallel = std::clamp(m_settings.parallelRequests(), 1, SnapshotValues::kMaxParallelRequests);
    while (m_slots.size() < size_t(m_parallel))
        addClient();
    // No body is needed beyond what tells a picture's dimensions.
    for (Slot& slot : m_slots)
        slot.client->setMaxKeptBody(m_readDimensions ? kDimensionBytes : 0);
    fill();
}

void SizeProbe::setSession(const BrowserSession* session)
{
    m_session = session;
    for (Slot& slot : m_slots)
        slot.client->setSession(session);
}

void SizeProbe::stop()
{
    m_state = State::Stopped;
    m_next = -100;
    dropRequests();
    finishIfIdle();
}

void SizeProbe::stopAfterRequest()
{
    m_state = State::Stopped;
    m_next = -100;
    finishIfIdle();
}

void SizeProbe::dropRequests()
{
    for (Slot& slot : m_slots) {
        slot.client->cancel();
        slot.busy = false;
    }
}

void SizeProbe::finishIfIdle()
{
    if (!m_running)
        return;
    for (const Slot& slot : m_slots) {
        if (slot.busy)
            return;
    }
    m_running = false;
    if (m_state == State::Walking)
        m_state = State::Idle;
    if (onFinished)
        onFinished();
}

// The next probe-able div from the walk's position on, or null at the end; the length of all() is read
// anew at each step.
Element* SizeProbe::nextDiv()
{
    while (m_doc && m_next >= 0 && m_next < int(m_doc->all().size())) {
        Element* e = m_doc->all()[size_t(m_next)];
        ++m_next;
        m_visited = e;
        if (e->tagName() == QLatin1String("DIV") && matchesFileType(e->id(), m_settings))
            return e;
    }
    return nullptr;
}

// Starts requests in document order until as many are in flight as the setting allows. A loop: a
// request that cannot even begin writes its reason and the next one is tried.
void SizeProbe::fill()
{
    if (m_filling)
        return;
    m_filling = true;
    for (size_t at = 0; at < size_t(m_parallel) && m_state == State::Walking; ++at) {
        Slot& slot = m_slots[at];
        while (!slot.busy && m_state == State::Walking) {
            Element* div = nextDiv();
            if (!div)
                break;
            slot.div = div;
            slot.address = div->id();
            slot.taken = false;
            try {
                slot.client->start(slot.address);
                slot.busy = true;
            } catch (const Error& e) {
                write(slot, SizeText::failureText(QStringLiteral("?"), e.text()));
            }
        }
    }
    m_filling = false;
    finishIfIdle();
}

// The div the request was for, while it is still in the walked document's tree and still that
// picture's div; null otherwise.
Element* SizeProbe::divOf(const Slot& slot) const
{
    if (!m_doc || m_state == State::Stopped || !slot.div || m_doc->indexOf(slot.div) < 0)
        return nullptr;
    if (slot.div->tagName() != QLatin1String("DIV") || slot.div->id() != slot.address)
        return nullptr;
    return slot.div;
}

// A second run over the same page writes nothing twice.
void SizeProbe::write(const Slot& slot, const QString& text)
{
    writeUnless(slot, text, text);
}

void SizeProbe::writeSize(const Slot& slot, qint64 bytes, QSize dimensions)
{
    const QString kilobytes = SizeText::kilobytes(bytes);
    writeUnless(slot, kilobytes + QStringLiteral(" kB"), SizeText::sizeText(kilobytes, dimensions));
}

bool SizeProbe::tookPage(const Slot& slot)
{
    const QString type = slot.client->contentType();
    const LinkAnswers::Kind kind = LinkAnswers::kindOfType(type);
    if (m_answers)
        m_answers->note(slot.address, kind);
    if (kind != LinkAnswers::Kind::Page)
        return false;
    write(slot, SizeText::pageText(type));
    return true;
}

QSize SizeProbe::dimensionsOf(const HttpClient& client) const
{
    if (!m_readDimensions || client.body().isEmpty())
        return {};
    return m_readDimensions(client.body().left(kDimensionBytes));
}

// A div whose markup is too long to be read is left as it is; the walk goes on.
void SizeProbe::writeUnless(const Slot& slot, const QString& present, const QString& text)
{
    Element* div = divOf(slot);
    if (!div)
        return;
    try {
        if (!div->innerHTML().contains(present))
            append(div, text);
    } catch (const Error&) {
    }
}

// The new elements lie inside the div, behind its present children: the walk goes on after the
// element it took last, wherever that now lies.
void SizeProbe::append(Element* div, const QString& text)
{
    // The write waits for the page: a new run may take over meanwhile, and the position then is its.
    const std::shared_ptr<Document> doc = m_doc;
    const qsizetype before = qsizetype(doc->all().size());
    div->setInnerHTML(div->innerHTML() + text);
    const int moved = int(qsizetype(doc->all().size()) - before);
    if (doc != m_doc || moved == 0 || m_next <= 0)
        return;
    const qsizetype visited = m_doc->indexOf(m_visited);
    if (visited >= 0)
        m_next = int(visited + 1);
    else
        m_next = std::max(0, m_next + moved);
}

// The size is taken as soon as a success's header holds its length and, with a dimension reader, its
// first bytes tell the dimensions (or cannot: kDimensionBytes came, or the body ended); the rest of the
// body is not needed, nor is the body of any other reply (a redirect is then followed by the client). A
// success without a length is read to its end and writes nothing.
void SizeProbe::packetReceived(size_t at)
{
    Slot& slot = m_slots[at];
    if (!slot.busy || slot.taken)
        return;
    HttpClient& client = *slot.client;
    if (isSuccess(client.replyNumber())) {
        // A page is known by its header; a picture's size by its length and, with a reader, its
        // first bytes.
        const bool page = LinkAnswers::kindOfType(client.contentType()) == LinkAnswers::Kind::Page;
        const qint64 bytes = client.contentLength();
        if (!page && bytes < 0)
            return; // read to its end; its end then moves the walk on
        const QSize dimensions = page ? QSize() : dimensionsOf(client);
        const bool waitForDimensions = !page && m_readDimensions && !dimensions.isValid()
                                       && client.receivedBodyBytes() < std::min(bytes, kDimensionBytes);
        if (waitForDimensions)
            return;
        // Taken and disconnected before the write: a write waits for the page, and nothing more of
        // this request may run meanwhile.
        slot.taken = true;
        client.disconnect();
        if (!tookPage(slot))
            writeSize(slot, bytes, dimensions);
        return;
    }
    client.disconnect();
}

void SizeProbe::done(size_t at)
{
    Slot& slot = m_slots[at];
    if (!slot.busy)
        return;
    const HttpClient& client = *slot.client;
    // The slot stays busy while its text is written: the write waits for the page, and the events
    // that run meanwhile must neither take the slot nor end the run.
    if (!slot.taken) {
        slot.taken = true;
        const int reply = client.replyNumber();
        if (!client.errorText().isEmpty()) {
            write(slot, SizeText::failureText(QStringLiteral("?"), client.errorText()));
        } else if (isSuccess(reply)) {
            if (!tookPage(slot) && client.contentLength() >= 0)
                writeSize(slot, client.contentLength(), dimensionsOf(client));
        } else if (reply == 0) {
            write(slot, SizeText::failureText(QStringLiteral("?"), QStringLiteral("Keine Antwort")));
        } else {
            write(slot, SizeText::failureText(QString::number(reply), client.statusLine()));
        }
    }
    slot.busy = false;
    if (onReply)
        onReply();
    fill();
}

} // namespace pxt
