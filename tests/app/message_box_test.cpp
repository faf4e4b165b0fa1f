#include <windows.h>

#include <gtest/gtest.h>

#include "app/main_app.h"

TEST(MessageBoxStyle, PlainButtonSetsGetTheExclamationIcon) {
    for (UINT buttons : {MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL})
        EXPECT_EQ(MessageBoxStyle(buttons), buttons | MB_ICONEXCLAMATION) << buttons;
    EXPECT_EQ(MessageBoxStyle(MB_OK | MB_TOPMOST), static_cast<UINT>(MB_OK | MB_TOPMOST | MB_ICONEXCLAMATION));
}

TEST(MessageBoxStyle, NamedIconsAndOtherButtonSetsAreKept) {
    EXPECT_EQ(MessageBoxStyle(MB_OK | MB_ICONHAND), static_cast<UINT>(MB_OK | MB_ICONHAND));
    EXPECT_EQ(MessageBoxStyle(MB_OK | MB_ICONINFORMATION), static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(MessageBoxStyle(MB_YESNO | MB_ICONQUESTION), static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(MessageBoxStyle(MB_RETRYCANCEL), static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_EQ(MessageBoxStyle(MB_ABORTRETRYIGNORE), static_cast<UINT>(MB_ABORTRETRYIGNORE));
}

TEST(ExecutableBaseName, IsTheFileNameWithoutExtension) {
    EXPECT_EQ(ExecutableBaseName(), L"test_app");
}
