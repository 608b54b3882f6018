#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace pxt {

class Document;
class Element;
class BrowserSession;
class Settings;
class HttpClient;
class LinkAnswers;

// The size probe: walks the thumbnail page's divs in document order, asks the server of each picture
// link for its header and writes the picture's size into its div as the reply comes. It keeps up to
// the "Parallel requests" setting's number of requests in flight, each on a client of its own; with 1
// it is one request after the other. It measures (the reply's parsed Content-Length); the texts it
// writes are the thumbnail page's (SizeText). Requests are started, never waited
// for, so a gallery of thousands of pictures runs in one loop. A write into a live page waits for the
// page's answer, and other requests' events run meanwhile: a request is done with (taken, its
// connection closed) before its text is written, and its slot stays busy until then.
//
// A request that fails, or whose final reply is not a success, writes the reply number ("?" when no
// reply came) with the reason as its tooltip, and the walk goes on. A run the user ended writes
// nothing more and ends silently.
class SizeProbe {
public:
    enum class State {
        Idle,    // no walk has run, or the last one ended by itself
        Walking, // a walk is under way
        Stopped, // the user ended the walk: no further request, no further text
    };

    explicit SizeProbe(const Settings& settings);
    ~SizeProbe();
    SizeProbe(const SizeProbe&) = delete;
    SizeProbe& operator=(const SizeProbe&) = delete;

    // The run has ended (also after a stop).
    std::function<void()> onFinished;
    // A request has ended, after its text was written.
    std::function<void()> onReply;

    // The session whose cookies and Referer every request of the probe carries; null: none.
    void setSession(const BrowserSession* session);
    // Where the probe notes whether each link answered with a picture or a page; null: nowhere. A
    // success that is a page writes no size, but that it is a page.
    void setLinkAnswers(LinkAnswers* answers) { m_answers = answers; }

    // Walks the document from its first element; a run in progress is dropped silently first.
    void start(std::shared_ptr<Document> doc);
    // Ends the run at once: the requests in flight are dropped.
    void stop();
    // Starts no further request; the run ends when those in flight have ended, writing nothing more.
    void stopAfterRequest();

    State state() const { return m_state; }
    bool walking() const { return m_running; }
    // The element the walk goes on from, in the document's all(); -100 after a stop.
    int index() const { return m_next; }
    const std::shared_ptr<Document>& document() const { return m_doc; }
    // The clients the probe runs on.
    size_t clientCount() const { return m_slots.size(); }
    // Milliseconds without a byte from a server after which its request fails (every client's).
    void setIdleLimit(int ms);

    // Reads a picture's dimensions from its first bytes; an invalid size while they are not yet known.
    using DimensionReader = std::function<QSize(const QByteArray& firstBytes)>;
    // With a reader, a success is read on until its dimensions are known, its body has ended or
    // kDimensionBytes have come, and its text gives the dimensions; without one (the default) only the
    // header is read.
    void setDimensionReader(DimensionReader reader) { m_readDimensions = std::move(reader); }
    static constexpr qint64 kDimensionBytes = 64 * 1024;

private:
    struct Slot {
        HttpClient* client = nullptr;
        Element* div = nullptr; // the div the request is for
        QString address;        // the div's id when the request began
        bool busy = false;
        bool taken = false; // the request's text is written
    };

    void wire(Slot& slot, size_t at);
    void fill();
    Element* nextDiv();
    void packetReceived(size_t at);
    void done(size_t at);
    Element* divOf(const Slot& slot) const;
    void write(const Slot& slot, const QString& text);
    void writeSize(const Slot& slot, qint64 bytes, QSize dimensions);
    // Notes what the success answered; true when it is a page, whose text is then written.
    bool tookPage(const Slot& slot);
    QSize dimensionsOf(const HttpClient& client) const;
    void writeUnless(const Slot& slot, const QString& present, const QString& text);
    void append(Element* div, const QString& text);
    void dropRequests();
    void finishIfIdle();

    void addClient();

    const Settings& m_settings;
    std::vector<std::unique_ptr<HttpClient>> m_clients;
    int m_idleLimitMs;
    std::vector<Slot> m_slots;
    std::shared_ptr<Document> m_doc;
    State m_state = State::Idle;
    bool m_running = false;
    bool m_filling = false;
    int m_next = 0;
    Element* m_visited = nullptr; // the element at m_next - 1 when the walk took it
    int m_parallel = 1;
    const BrowserSession* m_session = nullptr;
    LinkAnswers* m_answers = nullptr;
    DimensionReader m_readDimensions;
};

} // namespace pxt
