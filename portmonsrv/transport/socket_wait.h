// The one wait of the document cycle: at most a second for the job socket to become ready.
#pragma once

#include "../win32.h"

enum class SocketDirection { Reading, Writing };

inline constexpr long kSocketWaitSeconds = 1;

// TRUE when the socket is ready in that direction within one second; FALSE on time-out, on a
// select error and for INVALID_SOCKET.
BOOL WaitSocketReady(SOCKET socket, SocketDirection direction) noexcept;
