// A block of memory inside another process, for control messages whose
// pointer argument the system does not carry across processes (the common
// controls' TCM_*, LVM_* and the like): the target writes into its own
// address space, the driver reads the block back.
#pragma once

#include <windows.h>

#include <cstddef>

namespace driver {

class RemoteMemory {
public:
    // Commits size bytes in the process that owns window; check ok().
    RemoteMemory(HWND window, size_t size);
    ~RemoteMemory();
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool ok() const { return address_ != nullptr; }
    // The block's address in the target, to be passed as a message argument.
    LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
    bool Read(void* out, size_t size) const;
    bool Write(const void* data, size_t size);

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_ = 0;
};

}  // namespace driver
