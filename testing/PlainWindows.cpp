#include "testing/PlainWindows.h"

#include "core/Error.h"

namespace pxt {

std::shared_ptr<Document> PlainBrowserWindow::document()
{
    if (!m_doc)
        throw Error(QStringLiteral("The window \"%1\" shows no HTML document").arg(m_title));
    return m_doc;
}

std::shared_ptr<BrowserWindow> PlainBrowserWindowList::item(int index) const
{
    if (index < 0 || index >= count())
        throw Error(QStringLiteral("The browser window %1 no longer exists").arg(index));
    return windows[size_t(index)];
}

} // namespace pxt
