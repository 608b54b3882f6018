#include "browser/webengine/WebEngineViewFactory.h"

#include "browser/webengine/WebEngineBrowserView.h"

namespace pxt {

BrowserView* WebEngineViewFactory::create(QWidget* parent) { return new WebEngineBrowserView(m_dialogs, parent); }

} // namespace pxt
