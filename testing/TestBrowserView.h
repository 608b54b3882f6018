#pragma once

#include "browser/BrowserView.h"

#include <QList>
#include <QPointer>

class QLabel;

namespace pxt {

class Dialogs;

// The in-memory browser view of the tests: a navigation reads a local file, or a page a test
// registered for a web address, into the document model. Deterministic: navigationRequested fires at
// once, the load finishes in a queued call (loadProgress(50, 100), then documentComplete). The
// document stays the same object until the next load, so writes on it stay, as on a live page.
class TestBrowserView : public BrowserView {
    Q_OBJECT
public:
    // Failures of a load finishing later are reported through the dialogs.
    explicit TestBrowserView(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TestBrowserView() override;

    QWidget* widget() override;
    void navigate(const QString& address) override;
    void stop() override;
    // Loads the current address again, as a navigation of its own (navigationRequested included).
    void refresh() override;
    // Only counts the calls.
    void saveAs() override;
    bool isBusy() const override { return m_busy; }
    std::shared_ptr<Document> document() override;
    // The shown page's address: a file:// URL for a file.
    QString locationUrl() const override { return m_location; }

    int saveAsCount() const { return m_saveAsCount; }

    // The page every test view shows for the web address url (also as a frame), until cleared.
    static void registerPage(const QString& url, const QString& html);
    // Once loaded, the page at url gives no document: document() throws Error with the reason.
    static void registerUnreadablePage(const QString& url, const QString& reason);
    static void clearPages();

private:
    void finishLoad(quint64 serial, const QString& address);

    Dialogs& m_dialogs;
    QPointer<QLabel> m_label;
    std::shared_ptr<Document> m_document;
    QString m_address;  // the address of the last navigation that was not cancelled
    QString m_location; // the address of the shown page
    quint64 m_serial = 0; // counts loads; a finished load whose number is past is dropped
    bool m_busy = false;
    int m_saveAsCount = 0;
};

class TestBrowserViewFactory : public BrowserViewFactory {
public:
    explicit TestBrowserViewFactory(Dialogs& dialogs) : m_dialogs(dialogs) {}
    BrowserView* create(QWidget* parent) override;
    // Every view made, in order (null once destroyed).
    QList<QPointer<TestBrowserView>> views;

private:
    Dialogs& m_dialogs;
};

} // namespace pxt
