// Pixels on the screen, read the way a person sees them: a capture of a
// screen rectangle, whoever drew it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>

namespace driver {

// Pixels of a screen rectangle or of a drawing, 32-bit BGRX, top-down.
class Pixels {
public:
    Pixels(int width, int height) : width_(width), height_(height) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        if (bitmap_) old_ = SelectObject(dc_, bitmap_);
    }
    ~Pixels() {
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_; }
    uint32_t at(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }
    int width() const { return width_; }
    int height() const { return height_; }

    void Fill(uint32_t bgr) {
        for (int i = 0; i < width_ * height_; ++i) bits_[i] = bgr;
    }
    bool Uniform() const {
        for (int i = 1; i < width_ * height_; ++i)
            if ((bits_[i] & 0xFFFFFF) != (bits_[0] & 0xFFFFFF)) return false;
        return true;
    }
    // Sum of the channel differences with another picture of the same size.
    long long Difference(const Pixels& other) const {
        long long sum = 0;
        for (int i = 0; i < width_ * height_; ++i)
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(static_cast<int>((bits_[i] >> shift) & 0xFF) -
                                static_cast<int>((other.bits_[i] >> shift) & 0xFF));
        return sum;
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// Copies the screen rectangle rc into out (of rc's size).
inline bool CaptureScreen(const RECT& rc, Pixels& out) {
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    const bool ok = BitBlt(out.dc(), 0, 0, out.width(), out.height(), screen, rc.left, rc.top, SRCCOPY) != FALSE;
    ReleaseDC(nullptr, screen);
    return ok;
}

// The number of pixels of the colour (0x00RRGGBB as read from the capture:
// blue in the low byte) in the picture.
inline int CountColour(const Pixels& p, uint32_t rgb) {
    int n = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if (p.at(x, y) == rgb) ++n;
    return n;
}

}  // namespace driver
