#include "ui/WindowPlacement.h"
#include "testing/RecordingDialogs.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QWidget>

#include <gtest/gtest.h>

using pxt::WindowPlacement;

namespace {

// A main window stand-in: a top-level widget with a stored pane width.
struct Window {
    explicit Window(pxt::Dialogs& dialogs, int dpi = 96) : storage(&widget, "TFormMain", dialogs)
    {
        widget.setGeometry(10, 20, 300, 200);
        storage.setScreenSource([dpi] { return WindowPlacement::Screen{dpi, QSize(1024, 768)}; });
        storage.addIntProperty(
            "FrameThumbs1_Width", [this] { return paneWidth; },
            [this](int w) {
                paneWidth = w;
                ++paneWidthSets;
            });
    }
    QWidget widget;
    WindowPlacement storage;
    int paneWidth = 445;
    int paneWidthSets = 0;
};

class FormStorageTest : public ::testing::Test {
protected:
    pxt::test::TempProgramFolder folder;
    pxt::RecordingDialogs messages;
};

TEST_F(FormStorageTest, StoredGeometryComesBack)
{
    {
        Window w(messages);
        w.storage.restore(); // no file: nothing changes
        EXPECT_EQ(w.widget.geometry(), QRect(10, 20, 300, 200));
        EXPECT_FALSE(w.storage.placementApplied());
        w.widget.setGeometry(100, 120, 640, 480);
        w.paneWidth = 300;
        EXPECT_TRUE(w.storage.save(false));
    }
    EXPECT_EQ(folder.read("pxt.ini"), "[TFormMain]\r\n"
                                      "FormVersion=0\r\n"
                                      "Flags=0\r\n"
                                      "ShowCmd=1\r\n"
                                      "PixelsPerInch=96\r\n"
                                      "MinMaxPos(1024x768)=-1,-1,-1,-1\r\n"
                                      "MinMaxPos=-1,-1,-1,-1\r\n"
                                      "NormPos(1024x768)=100,120,740,600\r\n"
                                      "NormPos=100,120,740,600\r\n"
                                      "Visible=0\r\n"
                                      "FrameThumbs1_Width=300\r\n");
    Window again(messages);
    again.storage.restore();
    EXPECT_EQ(again.widget.geometry(), QRect(100, 120, 640, 480));
    EXPECT_TRUE(again.storage.placementApplied());
    EXPECT_EQ(again.paneWidth, 300);
    EXPECT_EQ(again.widget.windowState(), Qt::WindowNoState);
    EXPECT_TRUE(messages.errors.isEmpty());
}

struct RestoreCase {
    const char* name;
    QByteArray section; // the lines after [MainWindow]
    QRect geometry;     // the window was at 10,20 300x200
    Qt::WindowStates state;
    int paneWidth; // was 445
};

class FormStorageRestore : public FormStorageTest, public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(FormStorageRestore, AppliesTheSection)
{
    const RestoreCase& c = GetParam();
    folder.write("pxt.ini", "[TFormMain]\r\n" + c.section);
    Window w(messages, 120);
    w.storage.restore();
    EXPECT_EQ(w.widget.geometry(), c.geometry);
    EXPECT_EQ(w.widget.windowState(), c.state);
    EXPECT_EQ(w.paneWidth, c.paneWidth);
}

const QRect kStart(10, 20, 300, 200);

INSTANTIATE_TEST_SUITE_P(
    Sections, FormStorageRestore,
    ::testing::Values(
        RestoreCase{"OtherPixelDensityRestoresStateAndPaneButNoPosition",
                    "ShowCmd=3\r\nPixelsPerInch=96\r\nNormPos=100,120,740,600\r\nFrameThumbs1_Width=300\r\n", kStart,
                    Qt::WindowMaximized, 300},
        RestoreCase{"SamePixelDensity", "ShowCmd=1\r\nPixelsPerInch=120\r\nNormPos=100,120,740,600\r\n",
                    QRect(100, 120, 640, 480), Qt::WindowNoState, 445},
        RestoreCase{"MissingDensityCountsAsCurrent", "NormPos=100,120,740,600\r\n", QRect(100, 120, 640, 480),
                    Qt::WindowNoState, 445},
        RestoreCase{"ScreenSizeKeyPreferred", "NormPos(1024x768)=1,2,101,202\r\nNormPos=100,120,740,600\r\n",
                    QRect(1, 2, 100, 200), Qt::WindowNoState, 445},
        RestoreCase{"EmptyScreenSizeKeyFallsBack", "NormPos(1024x768)=\r\nNormPos=100,120,740,600\r\n",
                    QRect(100, 120, 640, 480), Qt::WindowNoState, 445},
        RestoreCase{"OtherScreenSizeKeyIgnored", "NormPos(1600x1200)=1,2,101,202\r\n", kStart, Qt::WindowNoState, 445},
        RestoreCase{"ItemsThatAreNoNumbersKeepTheCurrentEdges", "NormPos=x,50,,\r\n", QRect(10, 50, 300, 170),
                    Qt::WindowNoState, 445},
        RestoreCase{"RightNotRightOfLeftPlacesNothing", "NormPos=500,120,500,600\r\n", kStart, Qt::WindowNoState,
                    445},
        RestoreCase{"NegativeVersionAppliesNothing",
                    "FormVersion=-1\r\nShowCmd=3\r\nNormPos=100,120,740,600\r\nFrameThumbs1_Width=300\r\n", kStart,
                    Qt::WindowNoState, 445},
        RestoreCase{"ShowCmd7Minimized", "ShowCmd=7\r\n", kStart, Qt::WindowMinimized, 445},
        RestoreCase{"MinimizedFromMaximized", "Flags=2\r\nShowCmd=2\r\n", kStart,
                    Qt::WindowMinimized | Qt::WindowMaximized, 445},
        RestoreCase{"UnknownShowCmdNormal", "ShowCmd=4\r\n", kStart, Qt::WindowNoState, 445},
        RestoreCase{"PaneWidthNoNumberGivesZero", "FrameThumbs1_Width=wide\r\n", kStart, Qt::WindowNoState, 0},
        // A placement from another monitor layout is kept on the screen (1024 x 768 here).
        RestoreCase{"OffTheScreenMovesOnIt", "NormPos=3000,2000,3640,2480\r\n", QRect(384, 288, 640, 480),
                    Qt::WindowNoState, 445},
        RestoreCase{"LeftOfAndAboveTheScreenMovesOnIt", "NormPos=-900,-700,-260,-220\r\n", QRect(0, 0, 640, 480),
                    Qt::WindowNoState, 445},
        RestoreCase{"LargerThanTheScreenShrinksToIt", "NormPos=-50,100,1950,1300\r\n", QRect(0, 0, 1024, 768),
                    Qt::WindowNoState, 445}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormStorageTest, MissingPaneWidthLeavesThePane)
{
    folder.write("pxt.ini", "[TFormMain]\r\nShowCmd=1\r\n");
    Window w(messages);
    w.storage.restore();
    EXPECT_EQ(w.paneWidthSets, 0);
}

TEST_F(FormStorageTest, WritesOncePerShowingAndNeverBeforeReading)
{
    Window w(messages);
    w.storage.save(true);
    EXPECT_FALSE(folder.exists("pxt.ini")) << "written before the section was read";

    w.storage.restore();
    w.storage.save(false);
    EXPECT_TRUE(folder.read("pxt.ini").contains("Visible=0\r\n"));
    QFile::remove(folder.file("pxt.ini"));
    w.storage.save(true);
    EXPECT_FALSE(folder.exists("pxt.ini")) << "written twice in one showing";

    w.storage.restore(); // shown again
    w.storage.save(true);
    EXPECT_TRUE(folder.read("pxt.ini").contains("Visible=1\r\n"));
}

TEST_F(FormStorageTest, MaximizedWindowKeepsItsNormalRectangle)
{
    Window w(messages);
    w.storage.restore();
    w.widget.show();
    w.widget.setGeometry(100, 120, 640, 480);
    w.widget.showMaximized();
    ASSERT_TRUE(pxt::test::waitUntil([&] { return w.widget.isMaximized(); }));
    w.storage.save(false);
    const QByteArray file = folder.read("pxt.ini");
    EXPECT_TRUE(file.contains("ShowCmd=3\r\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("\r\nNormPos=100,120,740,600\r\n")) << file.toStdString();
}

TEST_F(FormStorageTest, FailedWriteIsReportedNotThrown)
{
    Window w(messages);
    w.storage.setIniFileName(folder.file("no/folder/pxt.ini"));
    w.storage.restore();
    EXPECT_FALSE(w.storage.save(false));
    EXPECT_EQ(messages.errors, QStringList{"nach " + folder.file("no/folder/pxt.ini") + " kann nicht geschrieben werden"});
}

} // namespace
