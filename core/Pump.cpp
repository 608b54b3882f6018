#include "core/Pump.h"

#include <QCoreApplication>

namespace pxt {

namespace {
PumpHook& hook()
{
    static PumpHook h;
    return h;
}
} // namespace

void pumpMessages()
{
    if (hook()) {
        hook()();
        return;
    }
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void setPumpHook(PumpHook h) { hook() = std::move(h); }

} // namespace pxt
