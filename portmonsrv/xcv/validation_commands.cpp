// "PortExists" and "PortIsValid": a port name is checked against the spooler's own list of ports
// (every monitor's, not only this one's), and an address by connecting to it.
#include "validation_commands.h"

#include <atomic>
#include <cstring>
#include <string_view>

#include "../monitor/alloc.h"
#include "../monitor/port_table.h"
#include "../monitor/spooler_host.h"
#include "../transport/address_text.h"
#include "bounded_text.h"
#include "commands.h"
#include "xcv_input.h"

void (*TestConnectionClosing)(SOCKET socket) noexcept = nullptr;

namespace {

using EnumPortsFunction = BOOL(WINAPI*)(LPWSTR server, DWORD level, LPBYTE buffer, DWORD bytes,
                                        LPDWORD needed, LPDWORD returned);

// The spooler library and its EnumPortsW, loaded by the first query that gets both and kept for
// the life of the process. The fill runs under its own lock (never MonitorLock), so concurrent
// first queries load the library once; the entry point is published last, with release order, so
// whoever sees it sees the loaded library too. A failed load leaves both empty.
SRWLOCK spoolerLoadLock = SRWLOCK_INIT;
HMODULE spoolerModule = nullptr;  // written under spoolerLoadLock
std::atomic<EnumPortsFunction> spoolerEnumPorts{nullptr};

class SpoolerLoadGuard {
public:
    SpoolerLoadGuard() noexcept { AcquireSRWLockExclusive(&spoolerLoadLock); }
    ~SpoolerLoadGuard() { ReleaseSRWLockExclusive(&spoolerLoadLock); }
    SpoolerLoadGuard(const SpoolerLoadGuard&) = delete;
    SpoolerLoadGuard& operator=(const SpoolerLoadGuard&) = delete;
};

// A failure must come back as a nonzero code, since 0 means "loaded".
DWORD LastErrorOfLoad() noexcept
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_MOD_NOT_FOUND;
}

// EnumPortsW of the spooler library, loading the library on first use; NULL with `*loadError`
// set when it cannot be had.
EnumPortsFunction SpoolerEnumPorts(DWORD* loadError) noexcept
{
    EnumPortsFunction enumPorts = spoolerEnumPorts.load(std::memory_order_acquire);
    if (enumPorts != nullptr)
        return enumPorts;

    SpoolerLoadGuard guard;
    enumPorts = spoolerEnumPorts.load(std::memory_order_relaxed);
    if (enumPorts != nullptr)
        return enumPorts;  // another thread finished the load while this one waited

    HMODULE module = LoadSystemSpooler(L"SPOOLSS.DLL");
    if (module == nullptr) {
        *loadError = LastErrorOfLoad();
        return nullptr;
    }
    FARPROC entry = SpoolerHost.getProcAddress(module, "EnumPortsW");
    if (entry == nullptr) {
        *loadError = LastErrorOfLoad();
        SpoolerHost.freeLibrary(module);
        return nullptr;
    }
    spoolerModule = module;
    enumPorts = reinterpret_cast<EnumPortsFunction>(reinterpret_cast<void*>(entry));
    spoolerEnumPorts.store(enumPorts, std::memory_order_release);
    return enumPorts;
}

// The "PortIsValid" test connection, closed on every path with the 5-second linger that job
// connections close with.
class TestConnection {
public:
    TestConnection() noexcept : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {}
    ~TestConnection()
    {
        if (socket_ == INVALID_SOCKET)
            return;
        const linger closing = {1, 5};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&closing),
                   sizeof(closing));
        if (TestConnectionClosing != nullptr)
            TestConnectionClosing(socket_);
        closesocket(socket_);
    }
    TestConnection(const TestConnection&) = delete;
    TestConnection& operator=(const TestConnection&) = delete;

    SOCKET Socket() const noexcept { return socket_; }

private:
    SOCKET socket_;
};

// 0 when a TCP connection to the dotted address and the low 16 bits of `portNumber` is accepted;
// else the Windows Sockets code of the failure. The address is not vetted first: a text that is
// no address converts to INADDR_NONE and the connection attempt reports the outcome.
DWORD TryConnection(const wchar_t* address, DWORD portNumber) noexcept
{
    TestConnection connection;
    if (connection.Socket() == INVALID_SOCKET)
        return static_cast<DWORD>(WSAGetLastError());

    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(static_cast<u_short>(portNumber & 0xFFFF));
    destination.sin_addr.s_addr = AddressTextToIPv4(address, kPortConfigTextUnits);
    static_assert(sizeof(destination) == 16);
    if (connect(connection.Socket(), reinterpret_cast<const sockaddr*>(&destination),
                sizeof(destination)) == SOCKET_ERROR)
        return static_cast<DWORD>(WSAGetLastError());
    return ERROR_SUCCESS;
}

}  // namespace

HMODULE LoadSystemSpooler(LPCWSTR fileName) noexcept
{
    wchar_t path[MAX_PATH] = {};
    if (GetSystemDirectoryW(path, MAX_PATH) == 0)
        return nullptr;
    if (!AppendBounded(path, MAX_PATH, L"\\") || !AppendBounded(path, MAX_PATH, fileName)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);  // a cut path is never loaded
        return nullptr;
    }
    return SpoolerHost.loadLibrary(path);
}

void ForgetSpoolerLibrary() noexcept
{
    SpoolerLoadGuard guard;
    spoolerEnumPorts.store(nullptr, std::memory_order_release);
    spoolerModule = nullptr;
}

BOOL SpoolerHasPort(LPCWSTR name, DWORD* loadError) noexcept
{
    *loadError = ERROR_SUCCESS;
    const EnumPortsFunction enumPorts = SpoolerEnumPorts(loadError);
    if (enumPorts == nullptr)
        return FALSE;

    // The list is read afresh for every query: ports come and go through other monitors.
    DWORD needed = 0;
    DWORD returned = 0;
    if (enumPorts(nullptr, 1, nullptr, 0, &needed, &returned))
        return FALSE;  // nothing listed
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return TRUE;

    const DWORD listBytes = needed;
    auto* list = static_cast<BYTE*>(ZeroedAlloc(listBytes));
    if (list == nullptr)
        return TRUE;
    if (!enumPorts(nullptr, 1, list, listBytes, &needed, &returned)) {
        FreeBlock(list);
        return TRUE;  // e.g. the list grew between the two calls
    }

    const DWORD fitting = listBytes / sizeof(PORT_INFO_1W);
    const DWORD count = returned < fitting ? returned : fitting;
    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(list);
    BOOL listed = FALSE;
    for (DWORD i = 0; i < count; ++i) {
        if (ports[i].pName != nullptr && lstrcmpiW(ports[i].pName, name) == 0)
            listed = TRUE;
    }
    FreeBlock(list);
    return listed;
}

// "PortExists": input a port name (UTF-16, terminated within the input); output one DWORD, 1 when
// the spooler lists the name or its list cannot be read, else 0. Always reports 4 bytes needed.
// 122 for an output below 4 bytes (the spooler is not asked); 87 for a missing or unterminated
// name; the loader's code, output untouched, when the spooler library cannot be loaded.
DWORD PortExistsCommand(const BYTE* input, DWORD inputBytes, BYTE* output, DWORD outputBytes,
                        DWORD* needed, XcvEntry*)
{
    if (needed != nullptr)
        *needed = sizeof(DWORD);
    if (outputBytes < sizeof(DWORD))
        return ERROR_INSUFFICIENT_BUFFER;
    std::wstring_view name;
    if (!ReadTextInput(input, inputBytes, &name))
        return ERROR_INVALID_PARAMETER;

    DWORD loadError = ERROR_SUCCESS;
    const DWORD listed = SpoolerHasPort(name.data(), &loadError) ? 1 : 0;
    if (loadError != ERROR_SUCCESS)
        return loadError;
    std::memcpy(output, &listed, sizeof(listed));
    return ERROR_SUCCESS;
}

// "PortIsValid": input one PortConfig. 0 when the port may be defined: for a new port the spooler
// must not list its name yet (else 183), and a printer must accept a TCP connection at the
// address and port (else the Windows Sockets code of the failure). 87 for an input shorter than
// the record or a name or address not terminated inside its field. Output and needed size are
// not touched.
DWORD PortIsValidCommand(const BYTE* input, DWORD inputBytes, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    if (input == nullptr || inputBytes < sizeof(PortConfig))
        return ERROR_INVALID_PARAMETER;
    PortConfig config;
    std::memcpy(&config, input, sizeof(config));
    if (BoundedLength(config.portName, kPortConfigTextUnits) >= kPortConfigTextUnits ||
        BoundedLength(config.address, kPortConfigTextUnits) >= kPortConfigTextUnits)
        return ERROR_INVALID_PARAMETER;

    if (config.newPort != 0) {
        // A spooler library that cannot be loaded does not stop the test: the name then counts
        // as not listed.
        DWORD loadError = ERROR_SUCCESS;
        if (SpoolerHasPort(config.portName, &loadError)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return ERROR_ALREADY_EXISTS;
        }
    }
    return TryConnection(config.address, config.portNumber);
}
