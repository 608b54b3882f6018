#include "browser/JoinedWindows.h"

#include "core/Error.h"

namespace pxt {

void JoinedBrowserWindowList::Refresh()
{
    for (BrowserWindowList* list : m_lists)
        list->Refresh();
}

int JoinedBrowserWindowList::Count() const
{
    int count = 0;
    for (const BrowserWindowList* list : m_lists)
        count += list->Count();
    return count;
}

std::shared_ptr<BrowserWindow> JoinedBrowserWindowList::Item(int index) const
{
    if (index >= 0) {
        int first = 0;
        for (const BrowserWindowList* list : m_lists) {
            const int count = list->Count();
            if (index < first + count)
                return list->Item(index - first);
            first += count;
        }
    }
    throw Error(QStringLiteral("The browser window %1 no longer exists").arg(index));
}

QStringList JoinedBrowserWindowList::Endpoints() const
{
    QStringList endpoints;
    for (const BrowserWindowList* list : m_lists) {
        for (const QString& e : list->Endpoints())
            if (!endpoints.contains(e))
                endpoints << e;
    }
    return endpoints;
}

} // namespace pxt
