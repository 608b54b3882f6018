#pragma once

#include "browser/BrowserWindows.h"

#include <vector>

namespace pxt {

// Several window lists as one: refresh() refreshes each in turn, the windows come list by list in the
// order given, and endpoints() names every endpoint any of them tried, each once. The lists are not
// owned and must outlive this one.
class JoinedBrowserWindowList : public BrowserWindowList {
public:
    explicit JoinedBrowserWindowList(std::vector<BrowserWindowList*> lists) : m_lists(std::move(lists)) {}

    void refresh() override;
    int count() const override;
    std::shared_ptr<BrowserWindow> item(int index) const override;
    QStringList endpoints() const override;

private:
    std::vector<BrowserWindowList*> m_lists;
};

} // namespace pxt
