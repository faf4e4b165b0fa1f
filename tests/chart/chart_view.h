// The chart panel as the driver sees it from outside its process: finding
// it, the size its dialog template should give it, and its drawing read off
// the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tests/driver/screen.h"

namespace driver::chart {

// As read from a screen capture: 0x00RRGGBB.
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kWhite = 0xFFFFFF;

// The process's visible top-level dialog without a caption.
HWND FindPanel(DWORD pid);

// The window size of a popup with a thin border made from a template of
// cx x cy dialog units in "MS Shell Dlg" 8 pt, as this machine lays it out.
SIZE TemplateWindowSize(int cx, int cy);

// The panel's client area as it is on the screen now; null on failure.
std::unique_ptr<Pixels> CaptureClient(HWND panel);

// Pixels of the colour in one row (0 outside the picture).
int CountInRow(const Pixels& p, int y, uint32_t colour);
// A pixel of the colour within radius of (x, y).
bool ColourNear(const Pixels& p, int x, int y, int radius, uint32_t colour);
// Pixels of the colour outside the rectangle [left, right) x [top, bottom).
int CountOutside(const Pixels& p, const RECT& rc, uint32_t colour);

// Writes the picture as a 24-bit bitmap file.
bool SaveBitmap(const Pixels& p, const wchar_t* path);
// Keeps the picture for a look by eye: <build>/tests/chart/shots/<name>.bmp.
bool SaveShot(const Pixels& p, const std::string& name);

}  // namespace driver::chart
