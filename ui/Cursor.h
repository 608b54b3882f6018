#pragma once

#include <Qt>

namespace pxt {

// The screen cursor of long work: the hourglass while a loop runs, the arrow otherwise. One override
// cursor at most, so setting the arrow always ends the override, however often the hourglass was set.
void setScreenCursor(Qt::CursorShape shape);

} // namespace pxt
