#include "app/ProgressWindow.h"
#include "core/Pump.h"

#include <QProgressBar>
#include <QPushButton>
#include <QLabel>
#include <gtest/gtest.h>

#include <QThread>

using namespace pxt;

TEST(ProgressWindow, SetupRanges)
{
    struct Case {
        int min, max, pos;
        bool cancellable;
        int barMin, barMax, barPos, height;
        bool shown;
    } cases[] = {
        {0, 9, 0, true, 0, 9, 0, 113, true},   {0, 0, 0, true, 0, 0, 0, 113, false},
        {5, 3, 4, true, 0, 0, 0, 113, false},  {2, 10, 5, false, 2, 10, 5, 78, true},
        {0, 10, 10, true, 0, 10, 0, 113, true}, {-3, 1, 0, true, 0, 1, 0, 113, true},
    };
    for (const Case& c : cases) {
        ProgressWindow w;
        w.setUp("Grabbing Thumbnails", "Searching...", c.min, c.max, c.pos, c.cancellable);
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " at " << c.pos);
        EXPECT_EQ(w.progressBar()->minimum(), c.barMin);
        EXPECT_EQ(w.progressBar()->maximum(), c.barMax);
        EXPECT_EQ(w.progressBar()->value(), c.barPos);
        EXPECT_EQ(w.height(), c.height);
        EXPECT_EQ(w.isVisible(), c.shown);
        EXPECT_EQ(w.windowTitle(), "Grabbing Thumbnails");
        EXPECT_EQ(w.textLabel()->text(), "Searching...");
        EXPECT_FALSE(w.isCancelled());
    }
}

TEST(ProgressWindow, StepsCloseBeforeTheMaximum)
{
    ProgressWindow w;
    w.setUp("c", "t", 0, 9, 0, true);
    w.stepTo(7);
    EXPECT_TRUE(w.isVisible());
    w.stepTo(8);
    EXPECT_FALSE(w.isVisible());
    w.stepTo(9); // closing again changes nothing
    EXPECT_FALSE(w.isVisible());
}

TEST(ProgressWindow, CancelIsSeenAfterTheStepAndClearedBySetup)
{
    ProgressWindow w;
    int pumps = 0;
    setPumpHook([&] {
        ++pumps;
        w.cancelButton()->click();
    });
    w.setUp("c", "t", 0, 100, 0, true);
    w.stepTo(1);
    EXPECT_TRUE(w.isCancelled());
    EXPECT_FALSE(w.isVisible());
    w.setUp("c", "t", 0, 100, 0, false);
    EXPECT_FALSE(w.isCancelled());
    w.stepTo(2); // not cancellable: no messages run
    EXPECT_EQ(pumps, 1);
    setPumpHook({});
    EXPECT_EQ(w.cancelButton()->text(), "Abbruch");
}

TEST(ProgressWindow, MessagesRunAtTheFirstStepThenEveryFewMilliseconds)
{
    ProgressWindow w;
    int pumps = 0;
    setPumpHook([&] { ++pumps; });
    w.setUp("c", "t", 0, 100000, 0, true);
    for (int i = 1; i <= 1000; ++i)
        w.stepTo(i);
    EXPECT_GE(pumps, 1);
    EXPECT_LT(pumps, 1000);
    const int before = pumps;
    QThread::msleep(20);
    w.stepTo(1001);
    EXPECT_EQ(pumps, before + 1);
    w.setUp("c", "t", 0, 100000, 0, true); // a new loop runs them at its first step again
    w.stepTo(1);
    EXPECT_EQ(pumps, before + 2);
    setPumpHook({});
}

