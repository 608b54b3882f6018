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
        w.Setup("Grabbing Thumbnails", "Searching...", c.min, c.max, c.pos, c.cancellable);
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " at " << c.pos);
        EXPECT_EQ(w.ProgressBar1->minimum(), c.barMin);
        EXPECT_EQ(w.ProgressBar1->maximum(), c.barMax);
        EXPECT_EQ(w.ProgressBar1->value(), c.barPos);
        EXPECT_EQ(w.height(), c.height);
        EXPECT_EQ(w.isVisible(), c.shown);
        EXPECT_EQ(w.windowTitle(), "Grabbing Thumbnails");
        EXPECT_EQ(w.Label1->text(), "Searching...");
        EXPECT_FALSE(w.FCancelled);
    }
}

TEST(ProgressWindow, StepsCloseBeforeTheMaximum)
{
    ProgressWindow w;
    w.Setup("c", "t", 0, 9, 0, true);
    w.StepTo(7);
    EXPECT_TRUE(w.isVisible());
    w.StepTo(8);
    EXPECT_FALSE(w.isVisible());
    w.StepTo(9); // closing again changes nothing
    EXPECT_FALSE(w.isVisible());
}

TEST(ProgressWindow, CancelIsSeenAfterTheStepAndClearedBySetup)
{
    ProgressWindow w;
    int pumps = 0;
    setPumpHook([&] {
        ++pumps;
        w.ButtonCancel->click();
    });
    w.Setup("c", "t", 0, 100, 0, true);
    w.StepTo(1);
    EXPECT_TRUE(w.FCancelled);
    EXPECT_FALSE(w.isVisible());
    w.Setup("c", "t", 0, 100, 0, false);
    EXPECT_FALSE(w.FCancelled);
    w.StepTo(2); // not cancellable: no messages run
    EXPECT_EQ(pumps, 1);
    setPumpHook({});
    EXPECT_EQ(w.ButtonCancel->text(), "Abbruch");
}

TEST(ProgressWindow, MessagesRunAtTheFirstStepThenEveryFewMilliseconds)
{
    ProgressWindow w;
    int pumps = 0;
    setPumpHook([&] { ++pumps; });
    w.Setup("c", "t", 0, 100000, 0, true);
    for (int i = 1; i <= 1000; ++i)
        w.StepTo(i);
    EXPECT_GE(pumps, 1);
    EXPECT_LT(pumps, 1000);
    const int before = pumps;
    QThread::msleep(20);
    w.StepTo(1001);
    EXPECT_EQ(pumps, before + 1);
    w.Setup("c", "t", 0, 100000, 0, true); // a new loop runs them at its first step again
    w.StepTo(1);
    EXPECT_EQ(pumps, before + 2);
    setPumpHook({});
}

