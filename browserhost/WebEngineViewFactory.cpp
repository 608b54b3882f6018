#include "browserhost/WebEngineViewFactory.h"

#include "browserhost/WebEngineBrowserView.h"

namespace pxt {

BrowserView* WebEngineViewFactory::create(QWidget* parent) { return new WebEngineBrowserView(parent); }

} // namespace pxt
