#include "harvest/SizeProbe.h"

#include "core/AsciiText.h"
#include "core/Pump.h"
#include "core/Rounding.h"
#include "dom/Document.h"
#include "harvest/LinkHelpers.h"
#include "http/HttpClient.h"

#include <cmath>

namespace pxt {

SizeProbe::SizeProbe(THttpClient& client, const Settings& settings) : m_client(client), m_settings(settings) {}

QString SizeProbe::SizeText(const QString& kilobytes)
{
    return QStringLiteral("<font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-size:11px; "
                          "color:#000000;\">&nbsp;&nbsp;")
           + kilobytes + QStringLiteral(" kB </font>");
}

QString SizeProbe::KilobytesFromHeader(const QString& header)
{
    const QString upper = asciiUpper(header);
    qsizetype p = upper.indexOf(QLatin1String("LENGTH"));
    if (p < 0)
        return {};
    const auto isDigit = [&](qsizetype i) { return upper.at(i).unicode() >= '0' && upper.at(i).unicode() <= '9'; };
    while (p < upper.size() && !isDigit(p))
        ++p;
    qsizetype q = p;
    while (q < upper.size() && isDigit(q))
        ++q;
    // No digit at all, or digits running to the very end of the header: no length can be read.
    if (q == p || q >= upper.size())
        return {};
    bool ok = false;
    const double bytes = upper.mid(p, q - p).toDouble(&ok);
    if (!ok || !std::isfinite(bytes))
        return {};
    return QString::number(roundHalfEven(bytes / 1024.0), 'f', 0);
}

void SizeProbe::Start(std::shared_ptr<Document> doc)
{
    m_doc = std::move(doc);
    m_state = State::Walking;
    WalkFrom(0);
}

void SizeProbe::Stop()
{
    m_client.Abort();
    m_state = State::Stopped;
    m_client.Abort();
}

void SizeProbe::StopAfterRequest() { m_state = State::Stopped; }

void SizeProbe::finish()
{
    if (m_state == State::Walking)
        m_state = State::Idle;
    if (OnFinished)
        OnFinished();
}

void SizeProbe::WalkFrom(int index)
{
    if (m_walking) {
        // A new walk while a request is under way: the running loop goes on with it, and the current
        // request no longer writes into a page it was not started for.
        m_requestTaken = true;
        m_next = index;
        return;
    }
    m_walking = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_walking};

    m_next = index;
    while (m_next) {
        m_index = *m_next;
        m_next.reset();
        Element* div = nullptr;
        while (!div) {
            if (m_state == State::Stopped || !m_doc || m_index >= int(m_doc->all().size())) {
                finish();
                return;
            }
            Element* e = m_doc->all()[size_t(m_index)];
            if (e->tagName() == QLatin1String("DIV") && MatchesFileType(e->id(), m_settings))
                div = e;
            else
                ++m_index;
        }
        pumpMessages();
        if (m_next)
            continue; // a new walk started while messages ran
        // Stopped while messages ran: the next request would clear the client's abort, so send none.
        if (m_state == State::Stopped) {
            finish();
            return;
        }
        const QString address = div->id();
        m_requestTaken = false;
        m_client.Get(address);
        // Without an event taking the request (an error reply without a length) the walk ends here.
    }
}

void SizeProbe::TakeImageSize()
{
    if (m_requestTaken)
        return;
    m_requestTaken = true;
    pumpMessages();
    if (m_doc && m_state != State::Stopped && m_index >= 0 && m_index < int(m_doc->all().size())) {
        Element* div = m_doc->all()[size_t(m_index)];
        const QString kilobytes = KilobytesFromHeader(m_client.Header());
        if (!kilobytes.isEmpty()) {
            const QString inner = div->innerHTML();
            if (!inner.contains(kilobytes + QStringLiteral(" kB")))
                div->setInnerHTML(inner + SizeText(kilobytes));
        }
    }
    // The rest of the body is not needed.
    m_client.Disconnect();
    if (!m_next)
        m_next = m_index + 1;
}

void SizeProbe::PacketReceived()
{
    pumpMessages();
    if (asciiUpper(m_client.Header()).contains(QLatin1String("LENGTH")))
        TakeImageSize();
}

void SizeProbe::Success()
{
    pumpMessages();
    if (OnReply)
        OnReply();
    TakeImageSize();
}

} // namespace pxt
