// The handle owner and the whole-write helper against real kernel objects
// and files, under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ui/file_win.h"
#include "ui/scoped_handle.h"

namespace {

bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

std::wstring TempFile(const wchar_t* name) {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name + std::to_wstring(GetCurrentProcessId());
}

TEST(ScopedHandle, NullAndInvalidAreEmpty) {
    for (HANDLE none : {HANDLE{}, INVALID_HANDLE_VALUE}) {
        ui::ScopedHandle h(none);
        EXPECT_FALSE(h);
        EXPECT_EQ(h.get(), nullptr);
    }
    // What CreateFile answers for a file that is not there.
    ui::ScopedHandle file(
        CreateFileW(L"C:\\no such folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file);
}

TEST(ScopedHandle, ClosesWhateverEndsIt) {
    const HANDLE a = NewEvent(), b = NewEvent(), c = NewEvent(), d = NewEvent();
    ASSERT_TRUE(a && b && c && d);
    {
        ui::ScopedHandle owner(a);
        EXPECT_TRUE(owner);
    }
    EXPECT_FALSE(IsOpen(a)) << "left open at the end of its scope";

    ui::ScopedHandle owner(b);
    owner.reset(c);
    EXPECT_FALSE(IsOpen(b)) << "left open by reset";
    EXPECT_TRUE(IsOpen(c));

    ui::ScopedHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(moved.get(), c);
    moved = ui::ScopedHandle(d);
    EXPECT_FALSE(IsOpen(c)) << "left open by a move over it";
    EXPECT_TRUE(IsOpen(d));

    const HANDLE kept = moved.release();
    EXPECT_FALSE(moved);
    EXPECT_TRUE(IsOpen(kept)) << "closed though released";
    CloseHandle(kept);
}

TEST(WriteAll, WritesPastOneCallsPieceOrFails) {
    const std::wstring path = TempFile(L"zelvane-writeall-");
    // More than a megabyte: several WriteFile calls.
    std::string data(3 * (1 << 20) + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4093);
    {
        ui::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        EXPECT_TRUE(ui::WriteAll(file.get(), data));
    }
    std::string back(data.size() + 1, '\0');
    DWORD read = 0;
    {
        ui::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ASSERT_TRUE(ReadFile(file.get(), back.data(), static_cast<DWORD>(back.size()), &read, nullptr));
        // Opened for reading only: nothing may be written through it.
        EXPECT_FALSE(ui::WriteAll(file.get(), "x", 1));
    }
    DeleteFileW(path.c_str());
    back.resize(read);
    EXPECT_EQ(back.size(), data.size());
    EXPECT_TRUE(back == data);
}

}  // namespace
