// The status line of a loading page: its text and the percentage loaded, rounded half to even, or
// nothing (the status stays) at 0 %, at 100 % and beyond, and for numbers that say nothing.
#include "core/AsciiText.h"

#include <gtest/gtest.h>

using namespace pxt;

TEST(PercentStatus, TheTextAndThePercentageLoaded)
{
    struct Case {
        int progress, max;
        const char* status;
    };
    const Case cases[] = {
        {45, 100, "Loading 45 %"},
        {1, 200, "Loading 0 %"}, // 0.5 rounds to the even 0
        {3, 200, "Loading 2 %"}, // 1.5 rounds to the even 2
        {5, 200, "Loading 2 %"}, // 2.5 rounds to the even 2
        {999, 1000, ""},         // 99.9 rounds to 100: loaded
        {100, 100, ""},
        {150, 100, ""},
        {0, 100, ""},
        {-5, 100, ""},
        {5, 0, ""},
        {5, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.progress) + "/" + std::to_string(c.max));
        EXPECT_EQ(percentStatus(QStringLiteral("Loading"), c.progress, c.max).toStdString(), c.status);
    }
}
