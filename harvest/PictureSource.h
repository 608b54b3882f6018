#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace pxt {

// A picture to save: its address and the page it was found on (empty when the session knows it).
struct PictureToSave {
    QUrl address;
    QUrl page;
};

// A fetch under way; destroying it drops the fetch without any further call.
class PictureFetch {
public:
    virtual ~PictureFetch() = default;
};

// Where the saver gets a picture's bytes from: the network with the user's session, or a cache that
// already holds what a view loaded.
class PictureSource {
public:
    struct Reply {
        QByteArray bytes;
        QString contentType;
        QString failure; // empty on success: "404 Not Found", "too many redirects", the system's text
    };
    using Done = std::function<void(const Reply&)>;

    virtual ~PictureSource() = default;
    // Begins fetching the picture; done is called once, later, from the event loop, unless the fetch
    // was destroyed first. done may destroy the fetch.
    virtual std::unique_ptr<PictureFetch> fetch(const PictureToSave& picture, Done done) = 0;
};

} // namespace pxt
