// A started monitor for the document-cycle tests, with WritePort's debugger texts recorded
// instead of sent to the debugger.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loopback_sink.h"
#include "monitor/monitor_lock.h"
#include "monitor/port_table.h"
#include "monitor_fixture.h"
#include "transport/debug_output.h"

// Records every debugger text for its lifetime.
class DebugTextRecorder {
public:
    DebugTextRecorder()
    {
        Texts().clear();
        DebugOutput = Record;
    }
    ~DebugTextRecorder() { DebugOutput = ::OutputDebugStringW; }
    DebugTextRecorder(const DebugTextRecorder&) = delete;
    DebugTextRecorder& operator=(const DebugTextRecorder&) = delete;

    // The texts so far; Take() also forgets them.
    static std::vector<std::wstring>& Texts()
    {
        static std::vector<std::wstring> texts;
        return texts;
    }
    std::vector<std::wstring> Take()
    {
        std::vector<std::wstring> texts;
        texts.swap(Texts());
        return texts;
    }

private:
    // Disturbs the last error as OutputDebugStringW does under Wine (it leaves 2 behind), so
    // that a diagnostic that changes what WritePort's caller reads fails the tests.
    static void WINAPI Record(LPCWSTR text)
    {
        Texts().emplace_back(text);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
};

class TransportTest : public MonitorTest {
protected:
    // Opens a port by name through the entry point; the handle, NULL for an unknown name.
    HANDLE Open(const wchar_t* name)
    {
        std::wstring text = name;
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xdeadbeef));
        EXPECT_TRUE(Table()->pfnOpenPort(Handle(), text.data(), &handle));
        return handle;
    }
    // Stores the port P1 for the sink's printer on 127.0.0.1, starts the monitor and opens P1.
    HANDLE OpenPortTo(const LoopbackSink& sink)
    {
        StorePort(L"P1", L"127.0.0.1", sink.Port());
        Start();
        return Open(L"P1");
    }
    BOOL StartDoc(HANDLE port, DWORD jobId, const wchar_t* printer = L"Printer A")
    {
        std::wstring name = printer != nullptr ? printer : L"";
        return Table()->pfnStartDocPort(port, printer != nullptr ? name.data() : nullptr, jobId,
                                        1, nullptr);
    }
    BOOL Write(HANDLE port, const void* data, DWORD bytes, DWORD* written)
    {
        return Table()->pfnWritePort(port, static_cast<LPBYTE>(const_cast<void*>(data)), bytes,
                                     written);
    }
    // Sends the whole document in pieces of at most `piece` bytes, as the spooler does, sending
    // again whatever a call did not take.
    bool WriteAll(HANDLE port, const std::string& document, size_t piece)
    {
        for (size_t offset = 0; offset < document.size();) {
            const DWORD bytes = static_cast<DWORD>(std::min(piece, document.size() - offset));
            DWORD written = 0;
            if (!Write(port, document.data() + offset, bytes, &written) || written == 0
                || written > bytes)
                return false;
            offset += written;
        }
        return true;
    }

    static PortEntry* Entry(HANDLE port) { return static_cast<PortEntry*>(port); }

    // The port is Idle and holds no printer handle; no printer handle is open anywhere.
    void ExpectNothingHeld(HANDLE port)
    {
        EXPECT_EQ(Entry(port)->socket, INVALID_SOCKET);
        EXPECT_EQ(Entry(port)->printer, nullptr);
        EXPECT_EQ(spooler.OpenPrinters(), 0);
    }

    DebugTextRecorder debugTexts;
};

// A document of `bytes` bytes that no shifted copy of itself matches.
inline std::string Document(size_t bytes, unsigned seed = 1)
{
    std::string document(bytes, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& c : document) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 23);
    }
    return document;
}
