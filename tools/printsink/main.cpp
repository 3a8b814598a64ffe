// printsink: a raw TCP printer on 127.0.0.1 that saves every job and prints its SHA-256.
#include "sink_options.h"
#include "sink_server.h"

int wmain(int argc, wchar_t** argv)
{
    SinkOptions options;
    bool wantsHelp = false;
    if (!ParseSinkOptions(argc, argv, options, wantsHelp))
        return 2;
    if (wantsHelp) {
        PrintSinkUsage();
        return 0;
    }
    return RunSink(options);
}
