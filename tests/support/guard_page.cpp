#include "guard_page.h"

#include <cstdlib>
#include <cstring>

GuardPage::GuardPage()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<BYTE*>(
        VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_ == nullptr || !VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old))
        std::abort();  // without the guard every test that relies on it would prove nothing
}

GuardPage::~GuardPage()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}

BYTE* GuardPage::Place(const void* data, size_t bytes)
{
    if (bytes > page_)
        std::abort();
    BYTE* start = base_ + page_ - bytes;
    if (bytes != 0)
        std::memcpy(start, data, bytes);
    return start;
}

BYTE* GuardPage::Fill(BYTE fill, size_t bytes)
{
    if (bytes > page_)
        std::abort();
    BYTE* start = base_ + page_ - bytes;
    std::memset(start, fill, bytes);
    return start;
}
