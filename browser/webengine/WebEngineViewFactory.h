#pragma once

#include "browser/BrowserView.h"

namespace pxt {

class BrowserSession;
class Dialogs;

// The program's browser views: WebEngine views, each owned by the parent given, asking the user
// through the dialogs given. With a session, every view's requests carry what the session borrowed
// (the views share one profile, kept in memory only).
class WebEngineViewFactory : public BrowserViewFactory {
public:
    explicit WebEngineViewFactory(Dialogs& dialogs, BrowserSession* session = nullptr);
    BrowserView* create(QWidget* parent) override;

private:
    Dialogs& m_dialogs;
};

} // namespace pxt
