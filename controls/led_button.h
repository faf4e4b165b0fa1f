// A push button turned into an owner-drawn indicator with a few states, each
// with its own icon and colours (the LED beside each page's ON/OFF switch).
#pragma once

#include <vector>

#include "ui/subclass.h"

struct LedState {
    COLORREF crText = 0;
    COLORREF crBack = 0;
    HICON hIcon = nullptr;  // owned
    int cxIcon = 0;
    int cyIcon = 0;
};

class CLedButton : public ui::SubclassedWindow {
public:
    CLedButton();
    ~CLedButton() override;

    void SetStateCount(int count, bool redraw);
    // Takes ownership of icon; its size comes from the hotspot (the centre).
    bool SetStateIcon(int index, HICON icon);
    // cx = cy = 0: the resource's own size.
    bool LoadStateIcon(int index, int iconId, int cx, int cy);
    // At the small-icon size of the control's dpi, and again when the
    // control moves to a screen of another scale.
    bool SetIcons(int iconIdOff, int iconIdOn);
    // The same state again does not redraw; one outside the table redraws only.
    void SetState(int state);
    int GetState() const { return m_nState; }

    bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

protected:
    void OnSubclassed() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    void Draw(const DRAWITEMSTRUCT& item);
    void DestroyIcons();
    void ResetColours();
    void Invalidate() { if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE); }

    std::vector<LedState> m_states;
    int m_nState = 0;
    int m_nStateCount = 0;
    bool m_bDisabled = false;
    DWORD m_dwStyle = 0;
    int m_nIconIds[2] = {0, 0};  // as last given to SetIcons
};
