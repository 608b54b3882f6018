#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs inside an application object, as the program does; the unit and widget tests
// get the offscreen platform from CTest, the browser tests the display of xvfb-run.
int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
