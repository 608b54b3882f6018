#pragma once

#include "browserhost/BrowserView.h"

namespace pxt {

// The program's browser views: WebEngine views, each owned by the parent given.
class WebEngineViewFactory : public BrowserViewFactory {
public:
    BrowserView* create(QWidget* parent) override;
};

} // namespace pxt
