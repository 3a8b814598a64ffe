#include "spooler_host.h"

SpoolerHostOps RealSpoolerHost() noexcept
{
    return SpoolerHostOps{
        ::OpenPrinterW,
        ::SetJobW,
        ::ClosePrinter,
        ::RevertToPrinterSelf,
        ::ImpersonatePrinterClient,
        ::LoadLibraryW,
        ::GetProcAddress,
        ::FreeLibrary,
    };
}

SpoolerHostOps SpoolerHost = RealSpoolerHost();
