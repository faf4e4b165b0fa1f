// Owners of Windows handles that close themselves on every path, one owner
// per handle, moved and never copied.
#pragma once

#include <windows.h>

#include <type_traits>

namespace ui {

// H is a pointer or an integer handle that the function Close releases;
// H{} means none.
template <class H, auto Close>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H handle) : handle_(Owned(handle)) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    H get() const { return handle_; }
    explicit operator bool() const { return handle_ != H{}; }
    H release() {
        const H h = handle_;
        handle_ = H{};
        return h;
    }
    void reset(H handle = H{}) {
        const H old = handle_;
        handle_ = Owned(handle);
        if (old != H{}) Close(old);
    }

private:
    // Kernel calls answer "no handle" with null or with INVALID_HANDLE_VALUE
    // (CreateFile, FindFirstFile...), which is also the current process's
    // pseudo handle: that one must never be closed either.
    static H Owned(H handle) {
        if constexpr (std::is_same_v<H, HANDLE>) {
            if (handle == INVALID_HANDLE_VALUE) return H{};
        }
        return handle;
    }

    H handle_ = H{};
};

// A kernel object's handle: a file, a process, an event, a mapping...
using ScopedHandle = UniqueHandle<HANDLE, CloseHandle>;

}  // namespace ui
