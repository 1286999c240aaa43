// Small owners for the handles and blocks that the Windows API gives out, so
// that every path out of an operation releases them.
#pragma once

#include "platform/win32.h"

namespace platform {

template <class H, class Traits>
class Owner {
public:
    Owner() = default;
    explicit Owner(H h) : h_(h) {}
    ~Owner() { reset(); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : h_(other.release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    H get() const { return h_; }
    // For out-parameters: the owner releases what it holds first.
    H* out() {
        reset();
        return &h_;
    }
    bool valid() const { return Traits::Valid(h_); }
    explicit operator bool() const { return valid(); }
    H release() {
        H h = h_;
        h_ = Traits::Empty();
        return h;
    }
    void reset(H h = Traits::Empty()) {
        if (Traits::Valid(h_)) Traits::Close(h_);
        h_ = h;
    }

private:
    H h_ = Traits::Empty();
};

struct RegKeyTraits {
    static HKEY Empty() { return nullptr; }
    static bool Valid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct PrinterTraits {
    static HANDLE Empty() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr; }
    static void Close(HANDLE h) { ClosePrinter(h); }
};
struct FindTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { FindClose(h); }
};
struct LibraryTraits {
    static HMODULE Empty() { return nullptr; }
    static bool Valid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct GlobalTraits {
    static HGLOBAL Empty() { return nullptr; }
    static bool Valid(HGLOBAL h) { return h != nullptr; }
    static void Close(HGLOBAL h) { GlobalFree(h); }
};
struct KernelTraits {
    static HANDLE Empty() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct EventSourceTraits {
    static HANDLE Empty() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr; }
    static void Close(HANDLE h) { DeregisterEventSource(h); }
};

using RegKey = Owner<HKEY, RegKeyTraits>;
using Printer = Owner<HANDLE, PrinterTraits>;
using FindHandle = Owner<HANDLE, FindTraits>;
using Library = Owner<HMODULE, LibraryTraits>;
using GlobalBlock = Owner<HGLOBAL, GlobalTraits>;
using KernelHandle = Owner<HANDLE, KernelTraits>;
using EventSource = Owner<HANDLE, EventSourceTraits>;

}  // namespace platform

namespace platform {

// An entry point bound at run time, as the function type the caller names;
// null when the module does not export it.
template <class Fn>
Fn BindProc(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace platform
