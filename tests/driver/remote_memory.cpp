#include "tests/driver/remote_memory.h"

namespace driver {

RemoteMemory::RemoteMemory(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    if (!window || !GetWindowThreadProcessId(window, &pid) || size == 0) return;
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process_) return;
    address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteMemory::~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

bool RemoteMemory::Read(void* out, size_t size) const {
    SIZE_T got = 0;
    return address_ && size <= size_ && ReadProcessMemory(process_, address_, out, size, &got) && got == size;
}

bool RemoteMemory::Write(const void* data, size_t size) {
    SIZE_T put = 0;
    return address_ && size <= size_ && WriteProcessMemory(process_, address_, data, size, &put) && put == size;
}

}  // namespace driver
