// The sink's loop: one listening socket on 127.0.0.1 and the connections it accepted.
#pragma once

#include "sink_options.h"

// Runs until the job limit or the idle time is reached. Returns the process exit code: 0, or 1
// when the sink could not start (message on stderr).
int RunSink(const SinkOptions& options);
