#pragma once

#include <functional>

namespace pxt {

// Lets pending window messages run. Long work on the user-interface thread calls this at its fixed
// points; tests may replace the hook to count or script those points.
void pumpMessages();

using PumpHook = std::function<void()>;
// Replaces the hook; an empty hook restores the default (processing the application's events).
void setPumpHook(PumpHook hook);

} // namespace pxt
