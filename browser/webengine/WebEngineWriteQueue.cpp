#include "browser/webengine/WebEngineWriteQueue.h"

#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace pxt {

WebEngineWriteQueue* WebEngineWriteQueue::of(QWebEnginePage* page)
{
    auto* queue = page->findChild<WebEngineWriteQueue*>(QString(), Qt::FindDirectChildrenOnly);
    return queue ? queue : new WebEngineWriteQueue(page);
}

void WebEngineWriteQueue::add(const QString& script)
{
    endChecks();
    // One failing write must not cost the others of the batch.
    m_pending += QStringLiteral("try{") + script + QStringLiteral("}catch(e){}\n");
    schedule();
}

void WebEngineWriteQueue::addCheck(int snapshot, int handle, bool on)
{
    if (m_checkHandles.isEmpty() || snapshot != m_checkSnapshot || on != m_checkOn) {
        endChecks();
        m_checkSnapshot = snapshot;
        m_checkOn = on;
    } else {
        m_checkHandles += QLatin1Char(',');
    }
    m_checkHandles += QString::number(handle);
    schedule();
}

void WebEngineWriteQueue::flush()
{
    m_scheduled = false;
    endChecks();
    if (m_pending.isEmpty())
        return;
    m_page->runJavaScript(m_pending, QWebEngineScript::ApplicationWorld);
    m_pending.clear();
}

WebEngineWriteQueue::WebEngineWriteQueue(QWebEnginePage* page) : QObject(page), m_page(page) {}

void WebEngineWriteQueue::schedule()
{
    if (!m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &WebEngineWriteQueue::flush);
    }
}

void WebEngineWriteQueue::endChecks()
{
    if (m_checkHandles.isEmpty())
        return;
    m_pending += QStringLiteral("try{globalThis.__pxt&&__pxt.checks(%1,[%2],%3)}catch(e){}\n")
                     .arg(m_checkSnapshot)
                     .arg(m_checkHandles, m_checkOn ? QLatin1String("true") : QLatin1String("false"));
    m_checkHandles.clear();
}

} // namespace pxt
