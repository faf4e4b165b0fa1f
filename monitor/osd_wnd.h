// The on-screen rate window: polls the chosen pair on a timer and shows each
// changed rate for ten seconds in a borderless, always-on-top window whose
// black background is transparent; owns the tray icon and the service client
// that answered its start-up probe. One per process, from the first
// switch-on to the end of the program.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <string>

#include "monitor/monitor_host.h"
#include "monitor/osd_logic.h"
#include "monitor/tray_tip.h"
#include "rates/rate_query.h"
#include "ui/gdi.h"

namespace rates {
class CCurrencyConvertor;
class CCurrencyExchangeService;
}  // namespace rates

// The monitor is switched on; written by the monitor page before Create.
extern bool bMonitorOn;

class OSDwnd {
public:
    static constexpr UINT kTrayCallback = WM_APP + 300;  // 0x812C
    static constexpr UINT kTrayIconId = 131;
    static constexpr UINT_PTR kShowTimer = 1;
    static constexpr UINT_PTR kPollTimer = 2;
    static constexpr UINT_PTR kSnoozeTimer = 3;  // the end of a snooze
    // After a resume from sleep the next poll comes this soon, leaving the
    // network a moment to come back.
    static constexpr unsigned kResumePollMs = 3000;

    // Starts COM for the thread and probes the services (USD to JPY); a
    // probe nobody answers is reported once and leaves polls doing nothing.
    explicit OSDwnd(const rates::ServiceSettings& services);
    ~OSDwnd();
    OSDwnd(const OSDwnd&) = delete;
    OSDwnd& operator=(const OSDwnd&) = delete;

    // Sets the window up the first time (nonzero on success), reconfigures
    // and starts or stops the monitor (bMonitorOn) every later time.
    int Create(HINSTANCE hInst, int nCur1, int nCur2, int nIntervalIndex, int nPositionIndex, COLORREF crUp,
               COLORREF crDown, int bRateOnly, IMonitorHost* pMainDlg);
    // The thread's message loop until WM_QUIT; keyboard input for a dialog
    // goes through that dialog's keyboard handling first.
    int Run();
    // One poll; 1 when the window is to be shown.
    int Poll();
    void SetInterval(int index) { m_nPollMs = monitor::PollPeriodMs(index); }
    // The monitor page's "do not show over full-screen programs" box, as of
    // the last switch-on; on until then.
    void SetQuietOverFullScreen(bool on) { m_bQuietFullScreen = on; }
    // The monitor page's smallest change worth showing, in units of the
    // fourth decimal, as of the last switch-on.
    void SetMinStep(int units) { m_poll.nMinStep = units; }
    void MoveToPosition(int nIndex);
    void Paint();

    HWND hwnd() const { return m_hWnd; }
    // The first Create succeeded (a failed one is undone).
    bool IsCreated() const { return m_hInst != nullptr; }
    const std::string& text() const { return m_poll.strText; }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnDestroy();
    void OnTrayNotify(WPARAM wp, LPARAM lp);
    LRESULT OnCommand(HWND hwnd, WPARAM wp, LPARAM lp);
    // state (UTF-8), a snooze's end and the last polled rate under it.
    bool SetTip(const std::string& state, DWORD action);
    void Snooze(std::int64_t until);
    void OnSnoozeTimer();
    // Greys what the state of the alarms makes pointless.
    void EnableTrayItems(HMENU popup) const;
    void OnResume();
    // The rate of a successful poll goes into the tip, with the time.
    void UpdateTipRate(double rate);
    // Closes the kept client's socket: the next poll connects anew.
    void DropConnection();
    // Undoes a first Create that failed half-way, so the next switch-on
    // starts from the beginning instead of polling with no window.
    void UndoFirstCreate();
    bool FetchRate(double* rate);
    // The font and the sizes for the window's screen; true when it changed.
    bool UseDpi(int dpi);
    int TextWidth() const;

    IMonitorHost* m_pMainDlg = nullptr;
    HINSTANCE m_hInst = nullptr;
    unsigned m_nPollMs = 0;
    unsigned m_nShowMs = 0;
    int m_nCur1 = 0;
    int m_nCur2 = 0;
    const wchar_t* m_pszClass = L"981B9D25-540B-47b7-B36F-CD3CA21BEEB3";
    ui::GdiObject<HFONT> m_font;
    int m_nDpi = 96;       // the font's and the window's dots per inch
    int m_nPosition = 0;   // the last MoveToPosition index
    ui::OwnedIcon m_icon;  // the tray's, lent to m_nid
    NOTIFYICONDATAW m_nid{};
    monitor::PollState m_poll;  // pair label, text, previous rate, rise, rate-only
    bool m_bClassRegistered = false;
    bool m_bIconAdded = false;
    bool m_bUndoing = false;  // a failed Create is destroying its window
    bool m_bResumePoll = false;  // the poll timer runs on kResumePollMs
    bool m_bQuietFullScreen = true;
    std::string m_strTipState;   // the tip's first line
    bool m_bPolled = false;      // m_lastRate holds a poll's answer
    monitor::PolledRate m_lastRate;
    COLORREF m_crUp = 0;
    COLORREF m_crDown = 0;
    std::unique_ptr<rates::CCurrencyConvertor> m_pConv;
    std::unique_ptr<rates::CCurrencyExchangeService> m_pExch;
    HWND m_hWnd = nullptr;
    bool m_bComInitialized = false;
};

// The one on-screen window of the process: none until the first switch-on.
OSDwnd* TheOSDwnd();
void SetTheOSDwnd(std::unique_ptr<OSDwnd> osd);
// Destroys the window, if any, and deletes the object (program end).
void DeleteTheOSDwnd();
