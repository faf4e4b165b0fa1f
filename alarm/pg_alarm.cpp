#include "alarm/pg_alarm.h"

#include "alarm/alarm_state.h"
#include "alarm/limit_text.h"
#include "alarm/pg_alarm_res.h"
#include "alarm/sound_dlg.h"
#include "app/main_app.h"

namespace {

constexpr char kSection[] = "Alarm";
constexpr char kOn[] = "ON";    // caption while alarms are off
constexpr char kOff[] = "OFF";  // caption while they are on

// 0.1 yen: on the yen pairs this program is mostly watched on, a tenth of a
// percent, enough to keep a rate hovering at the limit from ringing on.
constexpr char kDefaultMargin[] = "0.1";
// Half a percent within a quarter of an hour: a news-driven move on the
// major pairs, well past their ordinary intraday drift.
constexpr char kDefaultMovePercent[] = "0.5";
constexpr int kDefaultMoveMinutes = 15;
constexpr double kMarginMax = 10000.0;
constexpr double kMovePercentMax = 100.0;

bool IsTicked(const ui::Button& box) { return box.Send(BM_GETCHECK) == BST_CHECKED; }

std::string NumberBetweenText() {
    std::string text = "Please enter a number between %1 and %2.";
    text.replace(text.find("%1"), 2, "0");
    text.replace(text.find("%2"), 2, "10000");
    return text;
}

// Puts the focus back into a refused field once the focus change that
// led to the refusal has run its course.
constexpr UINT kRefocusMessage = WM_APP + 1;

void Message(const char* text) { App().DoMessageBox(text, MB_OK | MB_ICONEXCLAMATION); }

// A limit is ready to arm with a value other than 0 and a sound.
bool LimitReady(double limit, const std::string& sound, const char* noLimit, const char* noSound) {
    if (limit == 0.0) {
        Message(noLimit);
        return false;
    }
    if (sound.empty()) {
        Message(noSound);
        return false;
    }
    return true;
}

}  // namespace

void CPgAlarm::BindControls() {
    m_chkHigh.Attach(Item(IDC_ALARM_CHECK_HIGH));
    m_edHigh.Attach(Item(IDC_ALARM_LIMIT_HIGH));
    m_btnSoundHigh.Attach(Item(IDC_ALARM_SOUND_HIGH));
    m_chkLow.Attach(Item(IDC_ALARM_CHECK_LOW));
    m_edLow.Attach(Item(IDC_ALARM_LIMIT_LOW));
    m_btnSoundLow.Attach(Item(IDC_ALARM_SOUND_LOW));
    m_chkOnce.Attach(Item(IDC_ALARM_ONCE));
    m_edMargin.Attach(Item(IDC_ALARM_MARGIN));
    m_chkMove.Attach(Item(IDC_ALARM_MOVE));
    m_edMovePercent.Attach(Item(IDC_ALARM_MOVE_PERCENT));
    m_edMoveMinutes.Attach(Item(IDC_ALARM_MOVE_MINUTES));
    m_btnSwitch.Attach(Item(IDC_ALARM_SWITCH));
    m_led.Subclass(Item(IDC_ALARM_LED));
}

bool CPgAlarm::OnInitDialog() {
    m_led.SetIcons(IDI_LED_OFF, IDI_LED_ON);
    const CMainApp& app = App();
    m_chkHigh.Send(BM_SETCHECK, app.ReadSettingInt(kSection, "bHighLimit", 0) ? BST_CHECKED : BST_UNCHECKED);
    m_edHigh.SetText(app.ReadSettingString(kSection, "dLimitHigh", "0"));
    AlarmState.SoundPathHigh = app.ReadSettingString(kSection, "SoundPathHigh");
    m_chkLow.Send(BM_SETCHECK, app.ReadSettingInt(kSection, "bLowLimit", 0) ? BST_CHECKED : BST_UNCHECKED);
    m_edLow.SetText(app.ReadSettingString(kSection, "dLimitLow", "0"));
    AlarmState.SoundPathLow = app.ReadSettingString(kSection, "SoundPathLow");
    m_chkOnce.Send(BM_SETCHECK, app.ReadSettingInt(kSection, "bOncePerCrossing", 0) ? BST_CHECKED : BST_UNCHECKED);
    m_edMargin.SetText(app.ReadSettingString(kSection, "dRearmMargin", kDefaultMargin));
    m_chkMove.Send(BM_SETCHECK, app.ReadSettingInt(kSection, "bMoveAlarm", 0) ? BST_CHECKED : BST_UNCHECKED);
    m_edMovePercent.SetText(app.ReadSettingString(kSection, "dMovePercent", kDefaultMovePercent));
    m_edMoveMinutes.SetText(std::to_string(app.ReadSettingInt(kSection, "nMoveMinutes", kDefaultMoveMinutes)));
    // The fields are not read here: the limits in force stay 0 until a field
    // loses the focus or alarms are switched on.
    EnableLimitControls();
    return true;
}

bool CPgAlarm::OnCommand(WORD id, WORD code, HWND control) {
    static const ui::CommandEntry<CPgAlarm> kCommands[] = {
        {IDOK, BN_CLICKED, &CPgAlarm::OnOK},
        {IDCANCEL, BN_CLICKED, &CPgAlarm::OnCancel},
        {IDC_ALARM_CHECK_HIGH, BN_CLICKED, &CPgAlarm::OnCheckHigh},
        {IDC_ALARM_CHECK_LOW, BN_CLICKED, &CPgAlarm::OnCheckLow},
        {IDC_ALARM_ONCE, BN_CLICKED, &CPgAlarm::OnCheckRules},
        {IDC_ALARM_MOVE, BN_CLICKED, &CPgAlarm::OnCheckRules},
        {IDC_ALARM_SOUND_HIGH, BN_CLICKED, &CPgAlarm::OnSoundHigh},
        {IDC_ALARM_SOUND_LOW, BN_CLICKED, &CPgAlarm::OnSoundLow},
        {IDC_ALARM_SWITCH, BN_CLICKED, &CPgAlarm::OnSwitch},
        {IDC_ALARM_LIMIT_HIGH, EN_KILLFOCUS, &CPgAlarm::OnLimitKillFocus},
        {IDC_ALARM_LIMIT_LOW, EN_KILLFOCUS, &CPgAlarm::OnLimitKillFocus},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

bool CPgAlarm::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
    static const ui::MessageEntry<CPgAlarm> kMessages[] = {
        {kRefocusMessage, &CPgAlarm::OnRefocus},
    };
    return ui::Route(this, kMessages, msg, wp, lp, result) || ui::Dialog::OnMessage(msg, wp, lp, result);
}

void CPgAlarm::EnableLimitControls() {
    // The move alert plays the limits' sounds: it needs their buttons too.
    const bool move = IsTicked(m_chkMove);
    const bool high = IsTicked(m_chkHigh);
    m_edHigh.Enable(high);
    m_btnSoundHigh.Enable(high || move);
    const bool low = IsTicked(m_chkLow);
    m_edLow.Enable(low);
    m_btnSoundLow.Enable(low || move);
    m_edMargin.Enable(IsTicked(m_chkOnce));
    m_edMovePercent.Enable(move);
    m_edMoveMinutes.Enable(move);
}

void CPgAlarm::OnCheckHigh() { EnableLimitControls(); }
void CPgAlarm::OnCheckLow() { EnableLimitControls(); }

void CPgAlarm::OnSoundHigh() {
    CSoundDlg dlg(this, true);
    dlg.DoModal(hwnd());
}

void CPgAlarm::OnSoundLow() {
    CSoundDlg dlg(this, false);
    dlg.DoModal(hwnd());
}

void CPgAlarm::OnLimitKillFocus() {
    // A page that is no longer shown is going away with the program: no
    // message boxes then.
    if (!m_bReading && !m_hRefused && IsWindowVisible(hwnd())) ReadLimits();
}

INT_PTR CPgAlarm::OnRefocus(WPARAM, LPARAM) {
    // Another message box may be up by now (a switch-on goes on after a
    // refusal); the focus stays with it.
    const bool boxUp = !IsWindowEnabled(GetAncestor(hwnd(), GA_ROOT));
    if (m_hRefused && !boxUp && GetFocus() != m_hRefused) {
        SetFocus(m_hRefused);
        SendMessageW(m_hRefused, EM_SETSEL, 0, -1);
    }
    m_hRefused = nullptr;
    return TRUE;
}

bool CPgAlarm::ReadLimits() {
    m_bReading = true;
    // A refused upper field leaves both limits as they were; a refused lower
    // one leaves the new upper limit in force.
    const bool ok = ReadLimit(m_edHigh, AlarmState.dLimitHigh) && ReadLimit(m_edLow, AlarmState.dLimitLow);
    m_bReading = false;
    return ok;
}

bool CPgAlarm::ReadLimit(ui::Edit& field, double& limit) {
    const LimitReading reading = ReadLimitText(field.Text());
    if (reading.status == LimitStatus::kOk) {
        limit = reading.value;
        return true;
    }
    if (reading.status == LimitStatus::kNotANumber) {
        Message("Please enter a number.");
    } else {
        Message(NumberBetweenText().c_str());
    }
    SetFocus(field.hwnd());
    field.Send(EM_SETSEL, 0, -1);
    // A click elsewhere that took the focus may still be setting it there.
    m_hRefused = field.hwnd();
    PostMessageW(hwnd(), kRefocusMessage, 0, 0);
    return false;
}

void CPgAlarm::OnSwitch() {
    if (m_btnSwitch.Text() == kOn) {
        SwitchOn();
    } else {
        SwitchOff();
    }
}

void CPgAlarm::SwitchOff() {
    // Nothing is tested or saved.
    m_btnSwitch.SetText(kOn);
    AlarmState.bAlarmOn = false;
    m_led.SetState(0);
}

bool CPgAlarm::ReadRules(double* margin, double* percent, int* minutes) {
    struct Field {
        bool refused;
        ui::Edit& edit;
        const char* refusal;
    };
    const bool once = IsTicked(m_chkOnce);
    const bool move = IsTicked(m_chkMove);
    std::optional<double> m = once ? ReadPositiveText(m_edMargin.Text(), kMarginMax) : 0.0;
    std::optional<double> p = move ? ReadPositiveText(m_edMovePercent.Text(), kMovePercentMax) : 0.0;
    std::optional<int> n = move ? ReadWholeText(m_edMoveMinutes.Text(), 1, kMoveMinutesMax) : 0;
    const Field fields[] = {
        {once && !m, m_edMargin, "戻り幅には0より大きい数を入力してください"},
        {move && !p, m_edMovePercent, "変動率には0より大きく100以下の数を入力してください"},
        {move && !n, m_edMoveMinutes, "変動を見る時間には1から1440までの分数を入力してください"},
    };
    for (const Field& f : fields) {
        if (!f.refused) continue;
        Message(f.refusal);
        SetFocus(f.edit.hwnd());
        f.edit.Send(EM_SETSEL, 0, -1);
        return false;
    }
    *margin = *m;
    *percent = *p;
    *minutes = *n;
    return true;
}

void CPgAlarm::SwitchOn() {
    const bool high = IsTicked(m_chkHigh);
    const bool low = IsTicked(m_chkLow);
    const bool once = IsTicked(m_chkOnce);
    const bool move = IsTicked(m_chkMove);
    if (!high && !low && !move) {
        Message("値と音を設定してください");
        return;
    }
    // A refused field has said so already; a limit still at 0 counts as
    // missing below.
    if (high) {
        ReadLimits();
        if (!LimitReady(AlarmState.dLimitHigh, AlarmState.SoundPathHigh, "上限値を入力してください",
                        "上限値の音を選択してください"))
            return;
    }
    if (low) {
        ReadLimits();
        if (!LimitReady(AlarmState.dLimitLow, AlarmState.SoundPathLow, "下限値を入力してください",
                        "下限値の音を選択してください"))
            return;
    }
    double margin = 0.0, percent = 0.0;
    int minutes = 0;
    if (!ReadRules(&margin, &percent, &minutes)) return;
    // A rise sounds the upper sound, a fall the lower one.
    if (move && AlarmState.SoundPathHigh.empty()) {
        Message("上限値の音を選択してください");
        return;
    }
    if (move && AlarmState.SoundPathLow.empty()) {
        Message("下限値の音を選択してください");
        return;
    }

    m_btnSwitch.SetText(kOff);
    AlarmState.bHighLimit = high;
    AlarmState.bLowLimit = low;
    AlarmState.bOncePerCrossing = once;
    AlarmState.dRearmMargin = margin;
    AlarmState.bMoveAlarm = move;
    AlarmState.dMovePercent = percent;
    AlarmState.nMoveMinutes = minutes;
    RearmAlarms(AlarmState);
    AlarmState.bAlarmOn = true;
    m_led.SetState(1);

    // The limits are kept as typed, not as numbers.
    const CMainApp& app = App();
    app.WriteSettingInt(kSection, "bHighLimit", high ? 1 : 0);
    app.WriteSettingString(kSection, "dLimitHigh", m_edHigh.Text().c_str());
    app.WriteSettingString(kSection, "SoundPathHigh", AlarmState.SoundPathHigh.c_str());
    app.WriteSettingInt(kSection, "bLowLimit", low ? 1 : 0);
    app.WriteSettingString(kSection, "dLimitLow", m_edLow.Text().c_str());
    app.WriteSettingString(kSection, "SoundPathLow", AlarmState.SoundPathLow.c_str());
    app.WriteSettingInt(kSection, "bOncePerCrossing", once ? 1 : 0);
    app.WriteSettingString(kSection, "dRearmMargin", m_edMargin.Text().c_str());
    app.WriteSettingInt(kSection, "bMoveAlarm", move ? 1 : 0);
    app.WriteSettingString(kSection, "dMovePercent", m_edMovePercent.Text().c_str());
    // An unticked move alert keeps what its field held, if it is a number.
    const std::optional<int> keptMinutes = ReadWholeText(m_edMoveMinutes.Text(), 1, kMoveMinutesMax);
    app.WriteSettingInt(kSection, "nMoveMinutes", keptMinutes ? *keptMinutes : kDefaultMoveMinutes);
}
