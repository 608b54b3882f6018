#include "browser/webengine/WebEnginePage.h"

#include "browser/webengine/WebEngineBrowserView.h"
#include "core/Dialogs.h"

#include <QWebEngineDownloadRequest>

namespace pxt {

WebEnginePage::WebEnginePage(WebEngineBrowserView* owner, QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_owner(owner) {}

WebEngineBrowserView* WebEnginePage::owner() const { return m_owner; }

void WebEnginePage::routeSave(QWebEngineDownloadRequest* download)
{
    if (auto* page = dynamic_cast<WebEnginePage*>(download->page()))
        if (page->m_owner)
            page->m_owner->watchSave(download);
}

void WebEnginePage::triggerAction(WebAction action, bool checked)
{
    // The context menu's "Save page" goes through the view's own dialog, so that no two saves
    // of one page ever run at once (the engine does not survive that).
    if (action == SavePage && m_owner) {
        guarded(m_owner->m_dialogs, [this] { m_owner->saveAs(); });
        return;
    }
    QWebEnginePage::triggerAction(action, checked);
}

bool WebEnginePage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    return m_owner ? m_owner->engineAsksNavigation(url, isMainFrame) : true;
}

} // namespace pxt
