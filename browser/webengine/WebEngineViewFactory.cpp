#include "browser/webengine/WebEngineViewFactory.h"

#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineSession.h"

namespace pxt {

WebEngineViewFactory::WebEngineViewFactory(Dialogs& dialogs, BrowserSession* session) : m_dialogs(dialogs)
{
    if (session)
        attachSession(WebEngineBrowserView::sharedProfile(), session);
}

BrowserView* WebEngineViewFactory::create(QWidget* parent) { return new WebEngineBrowserView(m_dialogs, parent); }

} // namespace pxt
