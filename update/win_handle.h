// Handles of the update agent that close themselves on every path.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace update {

template <class H, BOOL(WINAPI* Close)(H)>
class ScopedHandle {
public:
    explicit ScopedHandle(H handle = nullptr) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    H get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(H handle = nullptr) {
        if (handle_) Close(handle_);
        handle_ = handle;
    }

private:
    H handle_;
};

using InternetHandle = ScopedHandle<HINTERNET, InternetCloseHandle>;

// CreateFile's failure value is INVALID_HANDLE_VALUE, not null.
class FileHandle : public ScopedHandle<HANDLE, CloseHandle> {
public:
    explicit FileHandle(HANDLE handle)
        : ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
};

}  // namespace update
