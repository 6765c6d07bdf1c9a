#pragma once
// Owning pointer to a COM interface, and the OLE initialisation of a thread.

#include <objbase.h>
#include <ole2.h>

#include <utility>

namespace ozu {

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    explicit ComPtr(T* p) : p_(p) {}
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& other) {
        if (this != &other) {
            ComPtr copy(other);
            std::swap(p_, copy.p_);
        }
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Releases what is held and returns the slot for an out-parameter.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    void Reset() {
        if (T* old = std::exchange(p_, nullptr)) {
            old->Release();
        }
    }
    T* Detach() { return std::exchange(p_, nullptr); }

    // QueryInterface into another smart pointer; the result of the call.
    template <typename U> HRESULT As(ComPtr<U>& out) const {
        if (!p_) {
            out.Reset();
            return E_POINTER;
        }
        return p_->QueryInterface(__uuidof(U), out.PutVoid());
    }

private:
    T* p_ = nullptr;
};

// OleInitialize for the lifetime of the object; OleUninitialize only when the
// initialisation succeeded.
class ComInit {
public:
    ComInit() : result_(::OleInitialize(nullptr)) {}
    ~ComInit() {
        if (SUCCEEDED(result_)) {
            ::OleUninitialize();
        }
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

} // namespace ozu
