#pragma once

#include "browserhost/Document.h"

#include <QString>

#include <memory>
#include <vector>

namespace pxt {

// A running browser window (one DevTools target of type "page").
class BrowserWindow {
public:
    virtual ~BrowserWindow() = default;
    virtual QString LocationName() const = 0; // the title
    virtual QString LocationURL() const = 0;  // empty when it shows nothing
    // The live document of the window. Throws Error when it cannot be read.
    virtual std::shared_ptr<Document> document() = 0;
};

// The list of running browser windows. Refresh() reads the list anew; Count() and Item() then
// answer from that reading, so an index stays stable until the next refresh.
class BrowserWindowList {
public:
    virtual ~BrowserWindowList() = default;
    virtual void Refresh() = 0;
    virtual int Count() const = 0;
    // Throws Error for an index outside 0 to Count() - 1.
    virtual std::shared_ptr<BrowserWindow> Item(int index) const = 0;
};

// A plain list, for tests and for anything that already knows its windows.
class PlainBrowserWindow : public BrowserWindow {
public:
    PlainBrowserWindow(QString title, QString url, std::shared_ptr<Document> doc = {})
        : m_title(std::move(title)), m_url(std::move(url)), m_doc(std::move(doc)) {}
    QString LocationName() const override { return m_title; }
    QString LocationURL() const override { return m_url; }
    std::shared_ptr<Document> document() override;

private:
    QString m_title;
    QString m_url;
    std::shared_ptr<Document> m_doc;
};

class PlainBrowserWindowList : public BrowserWindowList {
public:
    std::vector<std::shared_ptr<BrowserWindow>> windows;
    void Refresh() override {}
    int Count() const override { return int(windows.size()); }
    std::shared_ptr<BrowserWindow> Item(int index) const override;
};

} // namespace pxt
