// Test programs link the monitor statically: attach it with the program's own module, whose
// string table is the monitor's.
#include <gmock/gmock.h>

#include "monitor/module.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleMock(&argc, argv);
    if (!ModuleAttach(GetModuleHandleW(nullptr)))
        return 2;
    const int result = RUN_ALL_TESTS();
    ModuleDetach();
    return result;
}
