#pragma once

#include "browser/BrowserWindows.h"

#include <vector>

namespace pxt {

// A plain list of windows that are already known: tests and benchmarks.
class PlainBrowserWindow : public BrowserWindow {
public:
    PlainBrowserWindow(QString title, QString url, std::shared_ptr<Document> doc = {})
        : m_title(std::move(title)), m_url(std::move(url)), m_doc(std::move(doc)) {}
    QString LocationName() const override { return m_title; }
    QString LocationURL() const override { return m_url; }
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
    QStringList endpoints; // what Endpoints() reports
    void Refresh() override {}
    QStringList Endpoints() const override { return endpoints; }
    int Count() const override { return int(windows.size()); }
    std::shared_ptr<BrowserWindow> Item(int index) const override;
};

} // namespace pxt
