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
    for (const Element* e : frame.ThumbsDocument()->all()) {
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
        {"all", {&ThumbnailsPane::SelectAll}, "xxxxx"},
        {"none", {&ThumbnailsPane::DeselectAll}, "....."},
        {"all then none", {&ThumbnailsPane::SelectAll, &ThumbnailsPane::DeselectAll}, "....."},
        {"images", {&ThumbnailsPane::SelectImages}, "xx..x"},
        {"links", {&ThumbnailsPane::SelectLinks}, "..xx."},
        {"links after images", {&ThumbnailsPane::SelectImages, &ThumbnailsPane::SelectLinks}, "xxxxx"},
        {"images after links", {&ThumbnailsPane::SelectLinks, &ThumbnailsPane::SelectImages}, "xx..x"},
        {"images after all", {&ThumbnailsPane::SelectAll, &ThumbnailsPane::SelectImages}, "xx..x"},
    };
    for (const Case& c : cases) {
        TempProgramFolder folder;
        RecordingDialogs dialogs;
        TestBrowserViewFactory views(dialogs);
        Settings settings;
        SilentProgress progress;
        ThumbnailsPane frame(views, settings, progress, dialogs);
        frame.OpenThumbs(fixturePath("selection_page.html"));
        ASSERT_TRUE(waitUntil([&] { return !frame.WebBrowserThumbs->Busy(); }));
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
    frame.ShowBlank();
    ASSERT_TRUE(waitUntil([&] { return !frame.WebBrowserThumbs->Busy(); }));
    frame.SelectAll();
    frame.DeselectAll();
    EXPECT_EQ(boxes(frame), QString());
}
