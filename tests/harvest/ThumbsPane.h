#pragma once
// A thumbnails pane on the test view, in a program folder of its own, with its message boxes recorded.

#include "browserhost/Document.h"
#include "browserhost/TestBrowserView.h"
#include "harvest/ProgressSink.h"
#include "harvest/ThumbsFrame.h"
#include "settings/Settings.h"
#include "tests/support/TestSupport.h"

namespace pxt::test {

struct ThumbsPane {
    TempProgramFolder folder;
    MessageRecorder messages;
    TestBrowserViewFactory views;
    Settings settings;
    SilentProgress progress;
    TFrameThumbs frame{views, settings, progress};
};

} // namespace pxt::test
