#include "harvest/NetworkPictureSource.h"

#include "core/WebAddress.h"
#include "http/BrowserSession.h"
#include "http/SocketClient.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>

namespace pxt {

namespace {

// Only the session's cookies go out: nothing a server sets is kept for the next request.
class NoCookies : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

} // namespace

SessionLines sessionLines(const BrowserSession* session, const PictureToSave& picture, const QUrl& url)
{
    if (!session || !session->enabled())
        return {};
    BrowserSession::RefererSource source = session->refererSource(picture.address);
    if (source.isEmpty() && isWebAddress(picture.page))
        source.page = picture.page.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    SessionLines lines;
    if (!source.isEmpty())
        lines.referer = source.refererFor(url).toUtf8();
    lines.cookie = session->cookieHeader(url, source.page);
    return lines;
}

class NetworkPictureSource::Fetch : public PictureFetch {
public:
    Fetch(NetworkPictureSource& source, const PictureToSave& picture, Done done)
        : m_source(source), m_picture(picture), m_done(std::move(done))
    {
        request(picture.address);
    }

    ~Fetch() override
    {
        if (m_reply) {
            m_reply->disconnect();
            m_reply->abort();
            m_reply->deleteLater();
        }
    }

private:
    void request(const QUrl& url)
    {
        QNetworkRequest req(url);
        req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        req.setTransferTimeout(kIdleLimitMs);
        if (url.scheme() == QLatin1String("https"))
            req.setSslConfiguration(tlsConfiguration());
        req.setRawHeader("Accept", "image/avif,image/webp,image/apng,image/*,*/*;q=0.8");
        const SessionLines lines = sessionLines(m_source.m_session, m_picture, url);
        if (!lines.referer.isEmpty())
            req.setRawHeader("Referer", lines.referer);
        if (!lines.cookie.isEmpty())
            req.setRawHeader("Cookie", lines.cookie);
        m_reply = m_source.m_network->get(req);
        QObject::connect(m_reply, &QNetworkReply::finished, m_reply, [this] { finished(); });
        QObject::connect(m_reply, &QNetworkReply::metaDataChanged, m_reply, [this] {
            if (m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxBytes)
                tooLarge();
        });
        QObject::connect(m_reply, &QNetworkReply::downloadProgress, m_reply, [this](qint64 received, qint64) {
            if (received > kMaxBytes)
                tooLarge();
        });
    }

    void finished()
    {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (status >= 300 && status < 400 && location.isValid()) {
            if (++m_redirects > kMaxRedirects)
                return done({{}, {}, QStringLiteral("too many redirects")});
            const QUrl next = reply->url().resolved(location);
            if (!isWebAddress(next))
                return done({{}, {}, QStringLiteral("redirected to %1").arg(next.toDisplayString())});
            return request(next);
        }
        PictureSource::Reply result;
        if (status >= 300) {
            const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            result.failure = reason.isEmpty() ? QString::number(status) : QStringLiteral("%1 %2").arg(status).arg(reason);
        } else if (reply->error() != QNetworkReply::NoError) {
            result.failure = reply->errorString();
        } else {
            result.bytes = reply->readAll();
            result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
        }
        done(result);
    }

    void tooLarge()
    {
        m_reply->disconnect();
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
        done({{}, {}, QStringLiteral("larger than %1 MB").arg(kMaxBytes >> 20)});
    }

    void done(const Reply& reply)
    {
        // The callback may destroy this fetch: nothing of it is touched afterwards.
        const Done call = m_done;
        call(reply);
    }

    NetworkPictureSource& m_source;
    PictureToSave m_picture;
    Done m_done;
    QNetworkReply* m_reply = nullptr;
    int m_redirects = 0;
};

NetworkPictureSource::NetworkPictureSource(const BrowserSession* session)
    : m_session(session), m_network(std::make_unique<QNetworkAccessManager>())
{
    m_network->setCookieJar(new NoCookies(m_network.get()));
}

NetworkPictureSource::~NetworkPictureSource() = default;

std::unique_ptr<PictureFetch> NetworkPictureSource::fetch(const PictureToSave& picture, Done done)
{
    return std::make_unique<Fetch>(*this, picture, std::move(done));
}

} // namespace pxt
