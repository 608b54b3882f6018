#pragma once

#include "browser/BrowserWindows.h"

#include <vector>

namespace pxt {

// Several window lists as one: Refresh() refreshes each in turn, the windows come list by list in the
// order given, and Endpoints() names every endpoint any of them tried, each once. The lists are not
// owned and must outlive this one.
class JoinedBrowserWindowList : public BrowserWindowList {
public:
    explicit JoinedBrowserWindowList(std::vector<BrowserWindowList*> lists) : m_lists(std::move(lists)) {}

    void Refresh() override;
    int Count() const override;
    std::shared_ptr<BrowserWindow> Item(int index) const override;
    QStringList Endpoints() const override;

private:
    std::vector<BrowserWindowList*> m_lists;
};

} // namespace pxt
