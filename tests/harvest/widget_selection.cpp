#include "dom/Document.h"
#include "testing/TestBrowserView.h"
#include "testing/RecordingDialogs.h"
#include "testing/SilentProgress.h"
#include "harvest/ThumbsFrame.h"
#include "settings/Settings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

namespace {
// The checked state of the page's inputs, in page order: "x" checked, "." not.
QString boxes(TFrameThumbs& frame)
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
    using Op = void (TFrameThumbs::*)();
    struct Case {
        const char* what;
        std::vector<Op> ops;
        QString expected; // inputs: a.jpg, b.JPEG, c.html, empty name, text input d.gif
    } cases[] = {
        {"all", {&TFrameThumbs::SelectAll}, "xxxxx"},
        {"none", {&TFrameThumbs::DeselectAll}, "....."},
        {"all then none", {&TFrameThumbs::SelectAll, &TFrameThumbs::DeselectAll}, "....."},
        {"images", {&TFrameThumbs::SelectImages}, "xx..x"},
        {"links", {&TFrameThumbs::SelectLinks}, "..xx."},
        {"links after images", {&TFrameThumbs::SelectImages, &TFrameThumbs::SelectLinks}, "xxxxx"},
        {"images after links", {&TFrameThumbs::SelectLinks, &TFrameThumbs::SelectImages}, "xx..x"},
        {"images after all", {&TFrameThumbs::SelectAll, &TFrameThumbs::SelectImages}, "xx..x"},
    };
    for (const Case& c : cases) {
        TempProgramFolder folder;
        RecordingDialogs dialogs;
        TestBrowserViewFactory views(dialogs);
        Settings settings;
        SilentProgress progress;
        TFrameThumbs frame(views, settings, progress, dialogs);
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
    TFrameThumbs frame(views, settings, progress, dialogs);
    frame.ShowBlank();
    ASSERT_TRUE(waitUntil([&] { return !frame.WebBrowserThumbs->Busy(); }));
    frame.SelectAll();
    frame.DeselectAll();
    EXPECT_EQ(boxes(frame), QString());
}
