// The settings store against the real registry (Wine's, in the test prefix).
#include "app/settings_store.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kCompany[] = L"MorvastTest";
constexpr wchar_t kApp[] = L"ZelvaneUnitTest";
constexpr wchar_t kAppPath[] = L"software\\MorvastTest\\ZelvaneUnitTest";

bool KeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"software\\MorvastTest"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"software\\MorvastTest"); }
    SettingsStore store{kCompany, kApp};
};

TEST_F(SettingsStoreTest, EmptyRegistryGivesDefaultsAndReadsCreateTheKeys) {
    ASSERT_FALSE(KeyExists(kAppPath));
    EXPECT_EQ(store.ReadSettingInt("Base", "nCurrency1", 138), 138);
    EXPECT_EQ(store.ReadSettingInt("Base", "nCurrency2", 61), 61);
    EXPECT_EQ(store.ReadSettingString("Excel", "SheetNo", "1"), "1");
    EXPECT_EQ(store.ReadSettingString("Excel", "FilePath"), "");
    EXPECT_TRUE(KeyExists(L"software\\MorvastTest\\ZelvaneUnitTest\\Base"));
    EXPECT_TRUE(KeyExists(L"software\\MorvastTest\\ZelvaneUnitTest\\Excel"));
    // Reading created keys but no values.
    EXPECT_EQ(store.ReadSettingInt("Base", "nCurrency1", 7), 7);
}

TEST_F(SettingsStoreTest, IntegersRoundTripAsSignedDwords) {
    EXPECT_TRUE(store.WriteSettingInt("Base", "nCurrency1", 150));
    EXPECT_TRUE(store.WriteSettingInt("Monitor", "UpColor", 0xff0000));
    EXPECT_TRUE(store.WriteSettingInt("Monitor", "Position", -1));
    EXPECT_EQ(store.ReadSettingInt("Base", "nCurrency1", 138), 150);
    EXPECT_EQ(store.ReadSettingInt("Monitor", "UpColor", 0), 0xff0000);
    EXPECT_EQ(store.ReadSettingInt("Monitor", "Position", 0), -1);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"software\\MorvastTest\\ZelvaneUnitTest\\Base", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof(value);
    EXPECT_EQ(RegQueryValueExW(key, L"nCurrency1", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 150u);
}

TEST_F(SettingsStoreTest, TextsRoundTripIncludingJapaneseAndEmpty) {
    EXPECT_TRUE(store.WriteSettingString("Alarm", "dLimitHigh", "117.25"));
    EXPECT_TRUE(store.WriteSettingString("Log", "FolderPath", "C:\\\xe3\x83\xac\xe3\x83\xbc\xe3\x83\x88"));  // レート
    EXPECT_TRUE(store.WriteSettingString("Excel", "CellToRead1", ""));
    EXPECT_EQ(store.ReadSettingString("Alarm", "dLimitHigh", "0"), "117.25");
    EXPECT_EQ(store.ReadSettingString("Log", "FolderPath"), "C:\\\xe3\x83\xac\xe3\x83\xbc\xe3\x83\x88");
    // An empty stored text is a value, not a missing one.
    EXPECT_EQ(store.ReadSettingString("Excel", "CellToRead1", "A1"), "");
}

TEST_F(SettingsStoreTest, MissingTextDeletesTheValue) {
    ASSERT_TRUE(store.WriteSettingString("Alarm", "SoundPathHigh", "C:\\high.wav"));
    ASSERT_EQ(store.ReadSettingString("Alarm", "SoundPathHigh"), "C:\\high.wav");
    EXPECT_TRUE(store.WriteSettingString("Alarm", "SoundPathHigh", nullptr));
    EXPECT_EQ(store.ReadSettingString("Alarm", "SoundPathHigh", "none"), "none");
    // Deleting what is not there is not a failure.
    EXPECT_TRUE(store.WriteSettingString("Alarm", "SoundPathHigh", nullptr));
}

TEST_F(SettingsStoreTest, ValueOfTheWrongTypeReadsAsDefault) {
    ASSERT_TRUE(store.WriteSettingString("Base", "nCurrency1", "138"));
    EXPECT_EQ(store.ReadSettingInt("Base", "nCurrency1", 61), 61);
    ASSERT_TRUE(store.WriteSettingInt("Alarm", "dLimitLow", 5));
    EXPECT_EQ(store.ReadSettingString("Alarm", "dLimitLow", "0"), "0");
}

TEST_F(SettingsStoreTest, TextStoredWithoutTerminatorStillReads) {
    store.ReadSettingInt("Excel", "x", 0);  // creates the section
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"software\\MorvastTest\\ZelvaneUnitTest\\Excel", 0, KEY_SET_VALUE,
                            &key),
              ERROR_SUCCESS);
    const wchar_t raw[] = {L'B', L'2'};
    ASSERT_EQ(RegSetValueExW(key, L"CellToWrite1", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), sizeof(raw)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(store.ReadSettingString("Excel", "CellToWrite1"), "B2");
}

TEST_F(SettingsStoreTest, ApplicationKeysAreSeparate) {
    SettingsStore other{kCompany, L"ZelvaneCopy"};
    ASSERT_TRUE(store.WriteSettingInt("Base", "nCurrency1", 5));
    EXPECT_EQ(other.ReadSettingInt("Base", "nCurrency1", 138), 138);
}

TEST(SettingsStoreWithoutNames, ReadsDefaultsAndWritesNothing) {
    SettingsStore unnamed;
    EXPECT_EQ(unnamed.ReadSettingInt("Base", "nCurrency1", 138), 138);
    EXPECT_FALSE(unnamed.WriteSettingInt("Base", "nCurrency1", 1));
}

}  // namespace
