#pragma once
// A thumbnails pane on the test view, in a program folder of its own, with its message boxes recorded.

#include "dom/Document.h"
#include "testing/TestBrowserView.h"
#include "testing/RecordingDialogs.h"
#include "testing/SilentProgress.h"
#include "panes/ThumbnailsPane.h"
#include "settings/Settings.h"
#include "tests/support/TestSupport.h"

namespace pxt::test {

struct ThumbsPane {
    TempProgramFolder folder;
    RecordingDialogs messages;
    TestBrowserViewFactory views{messages};
    Settings settings;
    SilentProgress progress;
    ThumbnailsPane frame{views, settings, progress, messages};
};

} // namespace pxt::test
