#pragma once

#include "dom/Document.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace pxt {

// An embedded browser view as the panes use it. Events are delivered on the user-interface thread;
// a cancel set in BeforeNavigate2 drops that navigation, which then fires no DocumentComplete.
class BrowserView : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserView() override = default;

    virtual QWidget* widget() = 0;
    // An address or a plain file path.
    virtual void Navigate(const QString& address) = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;
    // The view's own Save As dialog for the page it shows.
    virtual void SaveAs() = 0;
    virtual bool Busy() const = 0;
    // The document of the shown page as it is now (maybe the object given before, brought up to
    // date); writes on it reach the page. Throws Error.
    virtual std::shared_ptr<Document> document() = 0;
    virtual QString LocationURL() const = 0;

Q_SIGNALS:
    void BeforeNavigate2(const QString& address, bool* cancel);
    void DocumentComplete();
    void ProgressChange(int progress, int progressMax);
};

// Panes get their views from a factory: the program's makes WebEngine views, the widget tests' make
// test views.
class BrowserViewFactory {
public:
    virtual ~BrowserViewFactory() = default;
    virtual BrowserView* create(QWidget* parent) = 0;
};

} // namespace pxt
