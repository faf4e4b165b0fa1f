// Handles of the update agent that close themselves on every path.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

namespace update {

// H is a pointer or an integer handle; its zero value means none.
template <class H, BOOL(WINAPI* Close)(H)>
class ScopedHandle {
public:
    explicit ScopedHandle(H handle = H{}) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    H get() const { return handle_; }
    explicit operator bool() const { return handle_ != H{}; }
    void reset(H handle = H{}) {
        if (handle_) Close(handle_);
        handle_ = handle;
    }

private:
    H handle_;
};

using InternetHandle = ScopedHandle<HINTERNET, InternetCloseHandle>;
using CryptKey = ScopedHandle<HCRYPTKEY, CryptDestroyKey>;
using CryptHash = ScopedHandle<HCRYPTHASH, CryptDestroyHash>;

// CreateFile's failure value is INVALID_HANDLE_VALUE, not null.
class FileHandle : public ScopedHandle<HANDLE, CloseHandle> {
public:
    explicit FileHandle(HANDLE handle)
        : ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    void reset(HANDLE handle = nullptr) { ScopedHandle::reset(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }
};

}  // namespace update
