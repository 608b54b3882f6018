#include "dialogs/ListedWindows.h"

#include <gtest/gtest.h>

using namespace pxt;

TEST(ListedWindows, OnlyTheFileSchemeAndEmptyAddressesAreLeftOut)
{
    struct Case {
        const char* address;
        bool listed;
    } cases[] = {
        {"file:///home/user", false},
        {"FILE://server/share", false},
        {"File:///tmp/gallery.html", false},
        {"  file:///home  ", false},
        {"", false},
        {"   ", false},
        // The letters "file" elsewhere in an address are no reason to leave the window out.
        {"http://example.com/Profile.html", true},
        {"https://example.org/files/index.html", true},
        {"http://file.example/", true},
        {"https://example.org/?src=file:///x", true},
        {"filesystem:https://example.org/temporary/a.html", true},
        {"about:blank", true},
        {"chrome://newtab/", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isListedAddress(QString::fromUtf8(c.address)), c.listed) << c.address;
}
