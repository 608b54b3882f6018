#pragma once

#include "browser/BrowserView.h"

namespace pxt {

class Dialogs;

// The program's browser views: WebEngine views, each owned by the parent given, asking the user
// through the dialogs given.
class WebEngineViewFactory : public BrowserViewFactory {
public:
    explicit WebEngineViewFactory(Dialogs& dialogs) : m_dialogs(dialogs) {}
    BrowserView* create(QWidget* parent) override;

private:
    Dialogs& m_dialogs;
};

} // namespace pxt
