// A spooler handle from OpenPrinterW, closed with ClosePrinter on every path.
#pragma once

#include <windows.h>
#include <winspool.h>

class PrinterHandle {
public:
    PrinterHandle() noexcept = default;
    ~PrinterHandle() { Close(); }
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;

    // OpenPrinterW on `name`; FALSE with the last error set when the spooler refuses.
    BOOL Open(const wchar_t* name, PRINTER_DEFAULTSW* defaults) noexcept
    {
        Close();
        return OpenPrinterW(const_cast<wchar_t*>(name), &handle_, defaults);
    }
    void Close() noexcept
    {
        if (handle_ != nullptr)
            ClosePrinter(handle_);
        handle_ = nullptr;
    }
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_ = nullptr;
};
