#include "core/Dialogs.h"

#include "core/Error.h"

#include <new>

namespace pxt {

bool guarded(Dialogs& dialogs, const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (const Error& e) {
        dialogs.error(e.text());
    } catch (const std::bad_alloc&) {
        dialogs.error(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        dialogs.error(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        dialogs.error(QStringLiteral("Unknown failure"));
    }
    return false;
}

} // namespace pxt
