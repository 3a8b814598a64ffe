// Several clients configure, read, list and open the same few ports at once. Afterwards the
// table must be whole, the registry must hold exactly the committed ports, and every block must
// be back once the instance is shut down.
//
// Each name is created only by its own thread, after seeing that no port has it, so the table
// never holds two entries of one name; every other command runs from every thread on every name.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "monitor/monitor_lock.h"
#include "xcv_fixture.h"

namespace {

const std::wstring kNames[] = {L"S0", L"S1", L"S2"};
constexpr int kThreads = 4;
constexpr int kIterations = 2000;

class PortCommandStress : public XcvTest {
protected:
    void Client(int index);
    void Fail(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(failuresMutex_);
        if (failures_.size() < 20)
            failures_.push_back(what);
    }

    std::mutex failuresMutex_;
    std::vector<std::string> failures_;
    // Calls that did their work, per operation, so that the run is known to have raced real
    // changes and not only refusals.
    std::atomic<int> done_[10] = {};
    std::atomic<int> ready_{0};  // all clients start together
};

std::string Text(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool IsSharedName(const wchar_t* name)
{
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const std::wstring& n) { return lstrcmpiW(n.c_str(), name) == 0; });
}

void PortCommandStress::Client(int index)
{
    std::mt19937 random(1234 + index);
    auto pick = [&](int count) { return static_cast<int>(random() % count); };
    const MONITOR2* table = Table();
    ++ready_;
    while (ready_.load() < kThreads)
        std::this_thread::yield();
    HANDLE xcv = nullptr;
    if (!table->pfnXcvOpenPort(Handle(), L",XcvMonitor VEXA Port Monitor",
                               SERVER_ACCESS_ADMINISTER, &xcv))
        return Fail("XcvOpenPort");
    std::vector<HANDLE> held;

    auto call = [&](const wchar_t* command, const void* input, DWORD inputBytes, void* output,
                    DWORD outputBytes) {
        DWORD needed = 0;
        return table->pfnXcvDataPort(xcv, command, static_cast<PBYTE>(const_cast<void*>(input)),
                                     inputBytes, static_cast<PBYTE>(output), outputBytes, &needed);
    };
    int operation = 0;
    auto expectOneOf = [&](const char* what, DWORD code, std::initializer_list<DWORD> allowed) {
        if (std::find(allowed.begin(), allowed.end(), code) == allowed.end())
            Fail(std::string(what) + " gave " + std::to_string(code));
        if (code == 0)
            ++done_[operation];
    };

    for (int i = 0; i < kIterations; ++i) {
        const std::wstring& name = kNames[pick(3)];
        const std::vector<BYTE> nameBytes = NameBytes(name);
        const DWORD nameSize = static_cast<DWORD>(nameBytes.size());
        const std::wstring address = L"127.0.0." + std::to_wstring(1 + pick(200));
        operation = pick(10);
        switch (operation) {
        case 0: {  // create this thread's own name when no port has it
            if (index >= 3)
                break;
            const std::wstring& own = kNames[index];
            PortConfig read;
            const std::vector<BYTE> ownBytes = NameBytes(own);
            if (call(L"GetDefaultPortConfig", ownBytes.data(), static_cast<DWORD>(ownBytes.size()),
                     &read, sizeof(read)) == ERROR_FILE_NOT_FOUND) {
                const PortConfig config = MakeConfig(own, address, 9100 + pick(100), 1);
                expectOneOf("PortData create", call(L"PortData", &config, sizeof(config), nullptr, 0),
                            {0});
            }
            break;
        }
        case 1: {
            const PortConfig config = MakeConfig(name, address, 9100 + pick(100), 0);
            expectOneOf("PortData change", call(L"PortData", &config, sizeof(config), nullptr, 0),
                        {0, ERROR_FILE_NOT_FOUND});
            break;
        }
        case 2:
            expectOneOf("AddPort", call(L"AddPort", nameBytes.data(), nameSize, nullptr, 0),
                        {0, ERROR_FILE_NOT_FOUND});
            break;
        case 3:
            expectOneOf("ModifyPort", call(L"ModifyPort", nameBytes.data(), nameSize, nullptr, 0),
                        {0, ERROR_FILE_NOT_FOUND});
            break;
        case 4:
            expectOneOf("DeletePort", call(L"DeletePort", nameBytes.data(), nameSize, nullptr, 0),
                        {0, ERROR_FILE_NOT_FOUND});
            break;
        case 5: {
            PortConfig read;
            std::memset(&read, 0, sizeof(read));
            const DWORD code = call(L"GetDefaultPortConfig", nameBytes.data(), nameSize, &read,
                                    sizeof(read));
            expectOneOf("GetDefaultPortConfig", code, {0, ERROR_FILE_NOT_FOUND});
            if (code == 0 && (lstrcmpiW(read.portName, name.c_str()) != 0 ||
                              std::wcsncmp(read.address, L"127.0.0.", 8) != 0))
                Fail("GetDefaultPortConfig returned " + Text(read.portName) + " " +
                     Text(read.address));
            break;
        }
        case 6: {
            const DWORD level = 1 + pick(2);
            DWORD needed = 0, returned = 0;
            std::vector<BYTE> buffer;
            BOOL ok = FALSE;
            for (int attempt = 0; attempt < 10 && !ok; ++attempt) {
                buffer.assign(needed, 0);
                ok = table->pfnEnumPorts(Handle(), nullptr, level, buffer.data(), needed, &needed,
                                         &returned);
                if (!ok && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
                    return Fail("EnumPorts error " + std::to_string(GetLastError()));
            }
            if (ok && returned > 0)
                ++done_[operation];
            for (DWORD r = 0; ok && r < returned; ++r) {
                const wchar_t* listed =
                    level == 1 ? reinterpret_cast<PORT_INFO_1W*>(buffer.data())[r].pName
                               : reinterpret_cast<PORT_INFO_2W*>(buffer.data())[r].pPortName;
                if (!IsSharedName(listed))
                    Fail("EnumPorts listed " + Text(listed));
            }
            break;
        }
        case 7: {
            HANDLE port = nullptr;
            if (!table->pfnOpenPort(Handle(), const_cast<LPWSTR>(name.c_str()), &port))
                Fail("OpenPort");
            if (port != nullptr) {
                held.push_back(port);
                ++done_[operation];
            }
            break;
        }
        case 8:
            if (!held.empty()) {
                const size_t which = pick(static_cast<int>(held.size()));
                // The entry may have been deleted meanwhile; it stays readable while held.
                if (!IsSharedName(static_cast<PortEntry*>(held[which])->name))
                    Fail("held port lost its name");
                table->pfnClosePort(held[which]);
                held.erase(held.begin() + which);
                ++done_[operation];
            }
            break;
        case 9:
            table->pfnXcvClosePort(xcv);
            if (!table->pfnXcvOpenPort(Handle(), L"", SERVER_ACCESS_ADMINISTER, &xcv))
                return Fail("XcvOpenPort again");
            ++done_[operation];
            break;
        }
    }
    for (HANDLE port : held)
        table->pfnClosePort(port);
    table->pfnXcvClosePort(xcv);
}

bool ByName(const EntryState& a, const EntryState& b)
{
    return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
}

TEST_F(PortCommandStress, ConcurrentClientsLeaveAWholeTableAndAMatchingRegistry)
{
    StorePort(L"S0", L"127.0.0.1", 9100);
    Start();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this, t] { Client(t); });
    for (std::thread& thread : threads)
        thread.join();
    for (const std::string& failure : failures_)
        ADD_FAILURE() << failure;
    for (int operation = 0; operation < 10; ++operation)
        EXPECT_GT(done_[operation].load(), 0) << "operation " << operation << " never did its work";

    {
        MonitorLockGuard lock;
        EXPECT_EQ(Instance()->removedPorts, nullptr) << "every port handle was closed";
        EXPECT_EQ(Instance()->xcvs, nullptr) << "every Xcv handle was closed";
    }
    std::vector<EntryState> entries = Entries();
    std::sort(entries.begin(), entries.end(), ByName);
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_NE(lstrcmpiW(entries[i - 1].name.c_str(), entries[i].name.c_str()), 0);

    // A committed port is stored with its values; a stored port is still in the table (pending
    // when it was changed and not yet stored again).
    const std::vector<StoredPort> stored = StoredPorts();
    for (const EntryState& entry : entries) {
        if (entry.committed) {
            EXPECT_NE(std::find(stored.begin(), stored.end(),
                                StoredPort{entry.name, entry.address, entry.portNumber}),
                      stored.end())
                << "committed " << Text(entry.name) << " not stored with its values";
        }
    }
    for (const StoredPort& port : stored) {
        EXPECT_NE(std::find_if(entries.begin(), entries.end(),
                               [&](const EntryState& e) { return e.name == port.name; }),
                  entries.end())
            << "stored " << Text(port.name) << " not in the table";
    }

    // Store what is pending: then the registry holds exactly the table.
    for (const EntryState& entry : entries) {
        if (!entry.committed) {
            EXPECT_EQ(NameCommand(L"AddPort", entry.name), 0u);
        }
    }
    std::vector<EntryState> committed = Entries();
    std::sort(committed.begin(), committed.end(), ByName);
    std::vector<EntryState> fromRegistry;
    for (const StoredPort& port : StoredPorts())
        fromRegistry.push_back({port.name, port.address, port.portNumber, 1});
    EXPECT_EQ(committed, fromRegistry);

    Restart();
    std::vector<EntryState> reloaded = Entries();
    std::sort(reloaded.begin(), reloaded.end(), ByName);
    EXPECT_EQ(reloaded, committed);
    for (const EntryState& entry : reloaded)
        EXPECT_EQ(NameCommand(L"DeletePort", entry.name), 0u);
    EXPECT_TRUE(StoredPorts().empty());
}

}  // namespace
