#pragma once

#include <QPointer>
#include <QWebEnginePage>

class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace pxt {

class WebEngineBrowserView;

// The page of a view: hands the engine's navigation questions and its own Save Page command to the view.
class WebEnginePage : public QWebEnginePage {
public:
    WebEnginePage(WebEngineBrowserView* owner, QWebEngineProfile* profile, QObject* parent);

    WebEngineBrowserView* owner() const;

    // A save download of a page of ours goes to that page's view, which reports its outcome.
    static void routeSave(QWebEngineDownloadRequest* download);

    void triggerAction(WebAction action, bool checked = false) override;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override;

private:
    QPointer<WebEngineBrowserView> m_owner;
};

} // namespace pxt
