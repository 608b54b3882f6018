#include "http/SocketErrors.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace pxt;

TEST(SocketErrors, TableRowsAndUnknownNumbers)
{
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {10004, "Interrupted system call"},
        {10035, "Operation would block"},
        {10054, "Connection reset by peer"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10071, "Too many levels of remote in path"},
        {10093, "Winsock not initialized"},
        {11001, "Host not found"},
        {11004, "Valid name, no data record of requested type"},
        {0, "Unrecognized error code"},
        {10072, "Unbekannte Fehlernummer 10072"},
        {10090, "Unbekannte Fehlernummer 10090"},
        {-1, "Unbekannte Fehlernummer -1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SocketErrorText(c.code), QString::fromLatin1(c.text)) << c.code;
    EXPECT_EQ(SocketErrorMessage(10054), QStringLiteral("10054:Connection reset by peer"));
}

TEST(SocketErrors, ErrnoValuesMapToTheirNumbers)
{
    EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketErrorFromErrno(EPIPE), 10058);
    EXPECT_EQ(SocketErrorFromErrno(EHOSTUNREACH), 10065);
    // Without a number of its own, the value stays and reads as unknown.
    EXPECT_EQ(SocketErrorFromErrno(EIO), EIO);
    EXPECT_EQ(SocketErrorText(SocketErrorFromErrno(EIO)), QStringLiteral("Unbekannte Fehlernummer %1").arg(EIO));
}
