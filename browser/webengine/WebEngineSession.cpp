#include "browser/webengine/WebEngineSession.h"

#include "http/BrowserSession.h"

#include <QPointer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestInfo>

namespace pxt {

namespace {

// Requests in the gallery's name are those the program itself makes: the pictures of its own pages
// (local files) and the pages a view run loads. They get, for the addresses the session knows (the
// harvested thumbnails and links, the pictures of a view run), the gallery's Referer and the cookies
// the browser would send from the gallery page; GET only. Requests of a web page's own scripts, of
// a page a view run shows, stay as the engine made them.
//
// The Referer is the one the gallery's policy gives, no more than the engine's own policy for the
// request allows (the default one: the program's pages set none): the engine cancels a request whose
// Referer its policy would not have sent, and recomputes it itself at each redirect. The cookies go
// as a header as well as into the store: the program's own pages are local files, and the engine
// sends a site's cookies without SameSite=None to none of its pictures there.
class RefererInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    RefererInterceptor(BrowserSession* session, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_session(session) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (!m_session || !isProgramRequest(info))
            return;
        const QUrl url = info.requestUrl();
        const BrowserSession::RefererSource source = m_session->refererSource(url);
        if (source.isEmpty())
            return;
        const QString referer = referrerFor(QUrl(source.refererFor(url)), kDefaultReferrerPolicy, url);
        if (!referer.isEmpty())
            info.setHttpHeader(QByteArrayLiteral("Referer"), referer.toUtf8());
        const QByteArray cookies = m_session->cookieHeader(url, source.page);
        if (!cookies.isEmpty())
            info.setHttpHeader(QByteArrayLiteral("Cookie"), cookies);
    }

private:
    // A GET of one of the program's pages, or a load of a frame the program started (no page did).
    static bool isProgramRequest(const QWebEngineUrlRequestInfo& info)
    {
        if (info.requestMethod() != QByteArrayLiteral("GET"))
            return false;
        if (info.firstPartyUrl().isLocalFile())
            return true;
        const bool frame = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
        return frame && info.initiator().isEmpty();
    }

private:
    QPointer<BrowserSession> m_session;
};

} // namespace

void attachSession(QWebEngineProfile* profile, BrowserSession* session)
{
    if (!profile || !session)
        return;
    profile->setUrlRequestInterceptor(new RefererInterceptor(session, profile));
    QWebEngineCookieStore* store = profile->cookieStore();
    QObject::connect(session, &BrowserSession::cookiesAdded, store, [store](const QList<QNetworkCookie>& cookies) {
        for (const QNetworkCookie& cookie : cookies) {
            const BrowserSession::StoreCookie stored = BrowserSession::storeCookie(cookie);
            store->setCookie(stored.cookie, stored.origin);
        }
    });
    QObject::connect(session, &BrowserSession::cleared, store, [store] { store->deleteAllCookies(); });
}

} // namespace pxt
