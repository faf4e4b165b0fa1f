// A static text control turned into a hyperlink: blue, underlined, a hand
// pointer over it, and a click opens its text through the shell. The control
// needs SS_NOTIFY to receive clicks; its text is the link target.
#pragma once

#include "ui/gdi.h"
#include "ui/subclass.h"

class CLinkStatic : public ui::SubclassedWindow {
public:
    CLinkStatic();
    ~CLinkStatic() override;

    bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    ui::GdiObject<HFONT> m_fontUnderline;  // made at the first paint
    ui::GdiObject<HBRUSH> m_brBackground;
    HCURSOR m_hCursor = nullptr;
    bool m_bOwnCursor = false;  // a copy to destroy, not a shared system cursor
};
