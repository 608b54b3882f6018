#pragma once
// Sockets on 127.0.0.1 at a port the system picks, for the local servers of tests and benchmarks.

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pxt::test {

inline sockaddr_in loopbackAddress(quint16 port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// A TCP socket bound to 127.0.0.1, listening with the given backlog unless it is negative; port is
// set to the port it got.
inline int loopbackSocket(quint16& port, int backlog)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = loopbackAddress(0);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (backlog >= 0)
        ::listen(s, backlog);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

} // namespace pxt::test
