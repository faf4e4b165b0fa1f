#include "tools/winbench/process_figures.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <functional>

namespace winbench {
namespace {

// Walks the system's process list, stopping when `visit` returns false.
// Wine answers GetProcessHandleCount for other processes with 0, but fills
// this list's handle counts from the server's tables.
void ForEachProcess(const std::function<bool(const SYSTEM_PROCESS_INFORMATION&)>& visit) {
    using Query = NTSTATUS(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    if (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0) return;
    for (size_t at = 0;;) {
        const auto* e = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
        if (!visit(*e) || !e->NextEntryOffset) return;
        at += e->NextEntryOffset;
    }
}

DWORD HandleCount(DWORD pid) {
    DWORD count = 0;
    ForEachProcess([&](const SYSTEM_PROCESS_INFORMATION& e) {
        if (reinterpret_cast<ULONG_PTR>(e.UniqueProcessId) != pid) return true;
        count = e.HandleCount;
        return false;
    });
    return count;
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine's process list gives the size of the process's handle table, which
// doubles as it fills (32, 64, 128, ...), not the handles in use. Those are
// counted by trying every slot of the table: a slot in use can be duplicated
// (or refuses for another reason than being empty).
DWORD HandlesInUse(HANDLE process, DWORD tableSize) {
    DWORD used = 0;
    for (DWORD slot = 1; slot <= tableSize; ++slot) {
        HANDLE copy = nullptr;
        const auto value = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(slot) * 4);
        if (DuplicateHandle(process, value, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++used;
        } else if (GetLastError() != ERROR_INVALID_HANDLE) {
            ++used;
        }
    }
    return used;
}

}  // namespace

ProcessFigures ReadProcessFigures(DWORD pid) {
    ProcessFigures f;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid);
    if (!process) return f;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    // PagefileUsage is the commit charge, the process's private memory;
    // Wine fills it but leaves the EX structure's PrivateUsage, its twin, at 0.
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        f.ok = true;
        f.privateBytes = std::max(counters.PrivateUsage, counters.PagefileUsage);
    }
    f.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    f.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    f.handles = HandleCount(pid);
    if (UnderWine()) f.handles = HandlesInUse(process, f.handles);
    CloseHandle(process);
    return f;
}

std::vector<DWORD> ProcessesNamed(const std::wstring& image) {
    std::vector<DWORD> pids;
    ForEachProcess([&](const SYSTEM_PROCESS_INFORMATION& e) {
        const std::wstring name(e.ImageName.Buffer ? e.ImageName.Buffer : L"", e.ImageName.Length / sizeof(wchar_t));
        if (CompareStringOrdinal(name.c_str(), -1, image.c_str(), -1, TRUE) == CSTR_EQUAL)
            pids.push_back(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(e.UniqueProcessId)));
        return true;
    });
    return pids;
}

}  // namespace winbench
