#pragma once

#include "dom/Document.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace pxt {

// An embedded browser view as the panes use it. Events are delivered on the user-interface thread;
// a cancel set in navigationRequested drops that navigation, which then fires no documentComplete.
class BrowserView : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserView() override = default;

    virtual QWidget* widget() = 0;
    // An address or a plain file path.
    virtual void navigate(const QString& address) = 0;
    virtual void stop() = 0;
    virtual void refresh() = 0;
    // The view's own Save As dialog for the page it shows.
    virtual void saveAs() = 0;
    virtual bool isBusy() const = 0;
    // The document of the shown page as it is now (maybe the object given before, brought up to
    // date); writes on it reach the page. Throws Error.
    virtual std::shared_ptr<Document> document() = 0;
    virtual QString locationUrl() const = 0;

Q_SIGNALS:
    void navigationRequested(const QString& address, bool* cancel);
    void documentComplete();
    void loadProgress(int progress, int progressMax);
};

// Panes get their views from a factory: the program's makes WebEngine views, the widget tests' make
// test views.
class BrowserViewFactory {
public:
    virtual ~BrowserViewFactory() = default;
    virtual BrowserView* create(QWidget* parent) = 0;
};

} // namespace pxt
