#pragma once
// One owning wrapper for every kind of system handle: a tiny traits struct
// names the invalid value and the function that closes the handle.

#include <windows.h>

#include <utility>

namespace ozu {

template <typename Traits> class ScopedHandle {
public:
    using handle_type = typename Traits::handle_type;

    ScopedHandle() = default;
    explicit ScopedHandle(handle_type handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    handle_type Get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // Gives up ownership without closing.
    handle_type Release() { return std::exchange(handle_, Traits::Invalid()); }

    // Closes the handle held (if any) and takes the new one.
    void Reset(handle_type handle = Traits::Invalid()) {
        handle_type old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

private:
    handle_type handle_ = Traits::Invalid();
};

struct FileHandleTraits {
    using handle_type = HANDLE;
    static handle_type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(handle_type h) { ::CloseHandle(h); }
};

// Process, thread and other kernel objects whose "none" is null.
struct KernelHandleTraits {
    using handle_type = HANDLE;
    static handle_type Invalid() { return nullptr; }
    static void Close(handle_type h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using handle_type = HANDLE;
    static handle_type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(handle_type h) { ::FindClose(h); }
};

struct ModuleHandleTraits {
    using handle_type = HMODULE;
    static handle_type Invalid() { return nullptr; }
    static void Close(handle_type h) { ::FreeLibrary(h); }
};

struct GdiObjectTraits {
    using handle_type = HGDIOBJ;
    static handle_type Invalid() { return nullptr; }
    static void Close(handle_type h) { ::DeleteObject(h); }
};

using FileHandle = ScopedHandle<FileHandleTraits>;
using KernelHandle = ScopedHandle<KernelHandleTraits>;
using FindHandle = ScopedHandle<FindHandleTraits>;
using ModuleHandle = ScopedHandle<ModuleHandleTraits>;
using GdiObject = ScopedHandle<GdiObjectTraits>;

} // namespace ozu
