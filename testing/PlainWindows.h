#pragma once

#include "browser/BrowserWindows.h"

#include <vector>

namespace pxt {

// A plain list of windows that are already known: tests and benchmarks.
class PlainBrowserWindow : public BrowserWindow {
public:
    PlainBrowserWindow(QString title, QString url, std::shared_ptr<Document> doc = {})
        : m_title(std::move(title)), m_url(std::move(url)), m_doc(std::move(doc)) {}
    QString locationName() const override { return m_title; }
    QString locationUrl() const override { return m_url; }
    std::shared_ptr<Document> document() override;
    // Every cookie set, whatever the addresses; the addresses asked for are kept.
    QList<QNetworkCookie> cookies(const QList<QUrl>& urls) override
    {
        askedFor = urls;
        return cookieJar;
    }

    QList<QNetworkCookie> cookieJar;
    QList<QUrl> askedFor;

private:
    QString m_title;
    QString m_url;
    std::shared_ptr<Document> m_doc;
};

class PlainBrowserWindowList : public BrowserWindowList {
public:
    std::vector<std::shared_ptr<BrowserWindow>> windows;
    QStringList endpointList; // what endpoints() reports
    void refresh() override {}
    QStringList endpoints() const override { return endpointList; }
    int count() const override { return int(windows.size()); }
    std::shared_ptr<BrowserWindow> item(int index) const override;
};

} // namespace pxt
