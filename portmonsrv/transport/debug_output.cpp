#include "debug_output.h"

DebugOutputFunction DebugOutput = ::OutputDebugStringW;
