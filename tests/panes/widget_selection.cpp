#include "dom/Document.h"
#include "testing/TestBrowserView.h"
#include "testing/RecordingDialogs.h"
#include "testing/SilentProgress.h"
#include "panes/ThumbnailsPane.h"
#include "settings/Settings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {
// The checked state of the page's inputs, in page order: "x" checked, "." not.
QString boxes(ThumbnailsPane& frame)
{
    QString out;
    for (const Element* e : frame.thumbnailsDocument()->all()) {
        if (e->tagName() == "INPUT")
            out += e->status() ? 'x' : '.';
    }
    return out;
}
} // namespace

TEST(Selection, CommandsOnTheShownPage)
{
    using Op = void (ThumbnailsPane::*)();
    struct Case {
        const char* what;
        std::vector<Op> ops;
        QString expected; // inputs: a.jpg, b.JPEG, c.html, empty name, text input d.gif
    } cases[] = {
        {"all", {&ThumbnailsPane::selectAll}, "xxxxx"},
        {"none", {&ThumbnailsPane::deselectAll}, "....."},
        {"all then none", {&ThumbnailsPane::selectAll, &ThumbnailsPane::deselectAll}, "....."},
        {"images", {&ThumbnailsPane::selectImages}, "xx..x"},
        {"links", {&ThumbnailsPane::selectLinks}, "..xx."},
        {"links after images", {&ThumbnailsPane::selectImages, &ThumbnailsPane::selectLinks}, "xxxxx"},
        {"images after links", {&ThumbnailsPane::selectLinks, &ThumbnailsPane::selectImages}, "xx..x"},
        {"images after all", {&ThumbnailsPane::selectAll, &ThumbnailsPane::selectImages}, "xx..x"},
    };
    for (const Case& c : cases) {
        TempProgramFolder folder;
        RecordingDialogs dialogs;
        TestBrowserViewFactory views(dialogs);
        Settings settings;
        SilentProgress progress;
        ThumbnailsPane frame(views, settings, progress, dialogs);
        frame.openThumbnails(fixturePath("selection_page.html"));
        ASSERT_TRUE(waitUntil([&] { return !frame.view()->isBusy(); }));
        for (Op op : c.ops)
            (frame.*op)();
        EXPECT_EQ(boxes(frame), c.expected) << c.what;
    }
}

TEST(Selection, ABlankPageChangesNothing)
{
    TempProgramFolder folder;
    RecordingDialogs dialogs;
        TestBrowserViewFactory views(dialogs);
    Settings settings;
    SilentProgress progress;
    ThumbnailsPane frame(views, settings, progress, dialogs);
    frame.showBlank();
    ASSERT_TRUE(waitUntil([&] { return !frame.view()->isBusy(); }));
    frame.selectAll();
    frame.deselectAll();
    EXPECT_EQ(boxes(frame), QString());
}
