#pragma once

#include "harvest/PictureSource.h"

#include <memory>

class QNetworkAccessManager;

namespace pxt {

class BrowserSession;

// The Cookie and Referer lines of a request for url, made on the way to the picture (url is the
// picture's address or one its redirects lead to): what a view of the program sends for it. The one
// place the saver asks the session.
struct SessionLines {
    QByteArray cookie;
    QByteArray referer;
};
SessionLines sessionLines(const BrowserSession* session, const PictureToSave& picture, const QUrl& url);

// Pictures from the network, each request with the user's session (sessionLines). Redirects are
// followed here, each with its own lines, at most kMaxRedirects; the connection is verified as every
// other connection of the program is. Cookies the servers set are not kept.
class NetworkPictureSource : public PictureSource {
public:
    static constexpr int kMaxRedirects = 20;
    // A request that receives nothing for this long fails.
    static constexpr int kIdleLimitMs = 30000;
    // A picture is held in memory until it is stored: a larger answer fails rather than fill it.
    static constexpr qint64 kMaxBytes = qint64(1) << 30;

    // The session may be null (none); it must outlive the source.
    explicit NetworkPictureSource(const BrowserSession* session);
    ~NetworkPictureSource() override;

    std::unique_ptr<PictureFetch> fetch(const PictureToSave& picture, Done done) override;

private:
    class Fetch;
    const BrowserSession* m_session;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

} // namespace pxt
