#include "browser/webengine/WebEngineLiveChannel.h"

#include "browser/webengine/WebEnginePageScripts.h"
#include "browser/webengine/WebEngineWriteQueue.h"
#include "core/Error.h"

#include <QWebEnginePage>

#include <optional>

namespace pxt {

WebEngineLiveChannel::WebEngineLiveChannel(QWebEnginePage* page) : m_page(page) {}

void WebEngineLiveChannel::run(const QString& script)
{
    if (m_page)
        WebEngineWriteQueue::of(m_page)->add(script);
}

void WebEngineLiveChannel::check(int snapshot, int handle, bool on)
{
    if (m_page)
        WebEngineWriteQueue::of(m_page)->addCheck(snapshot, handle, on);
}

QString WebEngineLiveChannel::runAndRead(const QString& script)
{
    if (!m_page)
        throw Error(QStringLiteral("The page was closed before it could be written to."));
    const std::optional<QVariant> value = runAndWait(m_page, script, kReadBackMs);
    if (!value)
        throw Error(QStringLiteral("The page did not answer a write within %1 seconds.").arg(kReadBackMs / 1000));
    if (value->typeId() != QMetaType::QString)
        throw Error(QStringLiteral("The page no longer holds the element written to."));
    return value->toString();
}

} // namespace pxt
