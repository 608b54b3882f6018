#include "browser/JoinedWindows.h"

#include "core/Error.h"

namespace pxt {

void JoinedBrowserWindowList::refresh()
{
    for (BrowserWindowList* list : m_lists)
        list->refresh();
}

int JoinedBrowserWindowList::count() const
{
    int count = 0;
    for (const BrowserWindowList* list : m_lists)
        count += list->count();
    return count;
}

std::shared_ptr<BrowserWindow> JoinedBrowserWindowList::item(int index) const
{
    if (index >= 0) {
        int first = 0;
        for (const BrowserWindowList* list : m_lists) {
            const int count = list->count();
            if (index < first + count)
                return list->item(index - first);
            first += count;
        }
    }
    throw Error(QStringLiteral("The browser window %1 no longer exists").arg(index));
}

QStringList JoinedBrowserWindowList::endpoints() const
{
    QStringList endpoints;
    for (const BrowserWindowList* list : m_lists) {
        for (const QString& e : list->endpoints())
            if (!endpoints.contains(e))
                endpoints << e;
    }
    return endpoints;
}

} // namespace pxt
