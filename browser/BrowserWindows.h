#pragma once

#include "core/Error.h"
#include "dom/Document.h"

#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <utility>
#include <vector>

namespace pxt {

// A running browser window (one DevTools target of type "page").
class BrowserWindow {
public:
    virtual ~BrowserWindow() = default;
    virtual QString locationName() const = 0; // the title
    virtual QString locationUrl() const = 0;  // empty when it shows nothing
    // The live document of the window as a harvest reads it: its title element and its links with
    // what lies inside them, in document order (all() holds those elements only), and its frames read
    // the same way. Throws Error when it cannot be read.
    virtual std::shared_ptr<Document> document() = 0;
    // The browser's cookies that apply to any of these addresses, HttpOnly ones included; empty where
    // the browser cannot tell. The caller keeps them in memory only. Throws Error like document().
    virtual QList<QNetworkCookie> cookies(const QList<QUrl>& urls)
    {
        Q_UNUSED(urls);
        return {};
    }
};

// The list of running browser windows. refresh() reads the list anew; count() and item() then
// answer from that reading, so an index stays stable until the next refresh.
class BrowserWindowList {
public:
    virtual ~BrowserWindowList() = default;
    virtual void refresh() = 0;
    virtual int count() const = 0;
    // Throws Error for an index outside 0 to count() - 1.
    virtual std::shared_ptr<BrowserWindow> item(int index) const = 0;
    // Where the last refresh() looked for browsers ("127.0.0.1:9222", ...), for telling the user;
    // empty for a list that looks nowhere.
    virtual QStringList endpoints() const { return {}; }
};

// A list that answers from what its last refresh() found.
class ListedBrowserWindows : public BrowserWindowList {
public:
    int count() const override { return int(m_windows.size()); }
    std::shared_ptr<BrowserWindow> item(int index) const override
    {
        if (index < 0 || index >= count())
            throw Error(QStringLiteral("The browser window %1 no longer exists").arg(index));
        return m_windows[size_t(index)];
    }
    QStringList endpoints() const override { return m_endpoints; }

protected:
    void setListing(QStringList endpoints, std::vector<std::shared_ptr<BrowserWindow>> windows)
    {
        m_endpoints = std::move(endpoints);
        m_windows = std::move(windows);
    }

private:
    QStringList m_endpoints;
    std::vector<std::shared_ptr<BrowserWindow>> m_windows;
};

} // namespace pxt
