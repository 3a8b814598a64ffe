#include "socket_wait.h"

BOOL WaitSocketReady(SOCKET socket, SocketDirection direction) noexcept
{
    if (socket == INVALID_SOCKET)
        return FALSE;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout = {kSocketWaitSeconds, 0};
    fd_set* readSet = direction == SocketDirection::Reading ? &set : nullptr;
    fd_set* writeSet = direction == SocketDirection::Writing ? &set : nullptr;
    // The first argument is ignored by Windows Sockets.
    return select(64, readSet, writeSet, nullptr, &timeout) > 0;
}
