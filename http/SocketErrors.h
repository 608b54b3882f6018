#pragma once

#include <QString>

namespace pxt {

// The socket error table: Windows Sockets error numbers and their standard descriptions, so that
// failures read the same on every platform the client has run on.
QString SocketErrorText(int code);

// The text of a socket failure as the client reports it: the number, ":" and the table's text.
QString SocketErrorMessage(int code);

// The Windows Sockets number of a POSIX errno value; a value without one is returned unchanged.
int SocketErrorFromErrno(int err);

} // namespace pxt
