#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pxt {

class Document;
class Settings;
class THttpClient;

// The size probe: walks the thumbnail page's divs, asks the server of each picture link for its
// header and writes the picture's size into its div. The walk runs requests one after the other in a
// loop; the client's events (forwarded by the pane) only say where it goes on, so a gallery of
// thousands of pictures never nests a call per link.
class SizeProbe {
public:
    enum class State {
        Idle,    // no walk has run, or the last one ended by itself
        Walking, // a walk is under way
        Stopped, // the user ended the walk: no further request, no further size
    };

    SizeProbe(THttpClient& client, const Settings& settings);

    // The walk has ended (also after a stop).
    std::function<void()> OnFinished;
    // A reply has ended, before its size is taken.
    std::function<void()> OnReply;

    // Walks the document from its first element. During a walk, the running loop goes on with the
    // new document from the start, and the current request no longer writes into it.
    void Start(std::shared_ptr<Document> doc);
    // Ends the walk and aborts the request under way.
    void Stop();
    // Ends the walk once the request under way has ended.
    void StopAfterRequest();

    // The client's events.
    void PacketReceived();
    void Success();

    State state() const { return m_state; }
    bool walking() const { return m_walking; }
    // The element the walk is at, in the document's all().
    int index() const { return m_index; }
    const std::shared_ptr<Document>& document() const { return m_doc; }

    // The kilobytes of the first number after "LENGTH" in the header, rounded half to even; empty
    // when there is no usable number.
    static QString KilobytesFromHeader(const QString& header);
    // The size text written into a picture thumbnail's div.
    static QString SizeText(const QString& kilobytes);

private:
    void WalkFrom(int index);
    void TakeImageSize();
    void finish();

    THttpClient& m_client;
    const Settings& m_settings;
    std::shared_ptr<Document> m_doc;
    State m_state = State::Idle;
    int m_index = 0;
    bool m_walking = false;        // a walk's loop is running
    std::optional<int> m_next;     // where the walk goes on after the current request
    bool m_requestTaken = false;   // the current request's size was taken
};

} // namespace pxt
