// Reading and working a combo box in another process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/driver/wait.h"

namespace driver {

int ComboCount(HWND combo);
// CB_ERR (-1) when nothing is selected.
int ComboSelection(HWND combo);
std::wstring ComboItemText(HWND combo, int index);
std::vector<std::wstring> ComboItems(HWND combo);
// The text the closed box shows: the selected item's, or empty.
std::wstring ComboSelectedText(HWND combo);

// Moves the selection to index with the keys a user would press in the
// closed box (Home, then Down/Up), so the box itself notifies its parent
// with CBN_SELCHANGE. True once the box shows that index.
bool SelectComboIndex(HWND combo, int index, milliseconds timeout = kReactTimeout);
// The same for the first item with exactly this text.
bool SelectComboText(HWND combo, const std::wstring& text, milliseconds timeout = kReactTimeout);

}  // namespace driver
