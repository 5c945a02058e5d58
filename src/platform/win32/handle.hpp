#pragma once

// One move-only owner for every kind of Win32 handle. Each kind is a traits struct naming
// the handle type, its "no handle" value and how to close it.
#include <windows.h>

#include <utility>

namespace ml {

template <class Traits>
class Unique {
  public:
    using pointer = typename Traits::type;

    Unique() noexcept = default;
    explicit Unique(pointer p) noexcept : p_(p) {}
    Unique(Unique&& other) noexcept : p_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    pointer get() const noexcept { return p_; }
    bool valid() const noexcept { return p_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    pointer release() noexcept { return std::exchange(p_, Traits::invalid()); }

    // Closes the current handle (keeping GetLastError as it was) and takes p.
    void reset(pointer p = Traits::invalid()) noexcept {
        if (valid()) {
            const DWORD saved = GetLastError();
            Traits::close(p_);
            SetLastError(saved);
        }
        p_ = p;
    }

    // For out-parameters: closes the current handle and exposes the slot.
    pointer* put() noexcept {
        reset();
        return &p_;
    }

  private:
    pointer p_ = Traits::invalid();
};

struct KernelHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { CloseHandle(h); }
};
struct FileHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { FindClose(h); }
};
struct RegKeyTraits {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { RegCloseKey(h); }
};
struct WindowTraits {
    using type = HWND;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { DestroyWindow(h); }
};
struct ModuleTraits {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { FreeLibrary(h); }
};
struct LocalMemoryTraits {
    using type = HLOCAL;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { LocalFree(h); }
};

using UniqueHandle = Unique<KernelHandleTraits>;  // processes, threads, events
using UniqueFile = Unique<FileHandleTraits>;      // CreateFileW results
using UniqueFind = Unique<FindHandleTraits>;      // FindFirstFileW results
using UniqueKey = Unique<RegKeyTraits>;
using UniqueWindow = Unique<WindowTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueLocal = Unique<LocalMemoryTraits>;

// Owner of one COM interface pointer.
template <class T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset(T* p = nullptr) noexcept {
        if (p_) p_->Release();
        p_ = p;
    }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  private:
    T* p_ = nullptr;
};

}  // namespace ml
