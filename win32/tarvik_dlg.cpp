#include "win32/tarvik_dlg.h"

#include <commctrl.h>

#include <vector>

#include "device/panes.h"
#include "process/wide_text.h"
#include "res/dialog_templates.h"
#include "win32/about_dlg.h"
#include "win32/dialog_memory.h"
#include "win32/program_name.h"

namespace {

bool is_push_button(HWND control) {
    wchar_t name[16];
    if (GetClassNameW(control, name, 16) == 0 || lstrcmpiW(name, L"Button") != 0) {
        return false;
    }
    const LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Messages the window posts to itself: a box, the About box and the tray
// menu open once the message that asked for them is through.
constexpr UINT kShowBoxesMessage = WM_APP + 24;
constexpr UINT kShowAboutMessage = WM_APP + 25;
// lparam: where, MAKELPARAM(x, y) in screen coordinates.
constexpr UINT kShowTrayMenuMessage = WM_APP + 26;
// The link's socket is readable (WSAAsyncSelect).
constexpr UINT kAnswerReadyMessage = WM_APP + 27;
// The one-shot timer of an exchange's deadline; the poll timer is 1.
constexpr UINT_PTR kAnswerDeadlineTimer = 2;

// The colour a lit voltage lamp is drawn in, and the one of a lamp whose
// latch stands while the device does not answer (not known now).
constexpr COLORREF kLitLampColour = RGB(255, 0, 0);
constexpr COLORREF kNotKnownLampColour = RGB(255, 176, 0);

// The status line below the dialog's controls, in dialog units.
constexpr int kStatusLineHeight = 10;
constexpr int kStatusLineMargin = 7;

void paint_lamp(HWND lamp, HDC dc, COLORREF colour) {
    RECT client;
    GetClientRect(lamp, &client);
    HBRUSH fill = CreateSolidBrush(colour);
    FillRect(dc, &client, fill);
    DeleteObject(fill);
    FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// The lamps' check boxes stay check boxes; while checked this paints them
// whole and red, so that a lit lamp shows from across the room, and while
// not known now amber. `data` is the window.
LRESULT CALLBACK lamp_proc(HWND lamp, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR rail,
                           DWORD_PTR data) {
    // Painted from the view as drawn, never from the control's own state.
    const LampState state =
        reinterpret_cast<const CTarvikDlg*>(data)->lamp_state(static_cast<int>(rail));
    const bool lit = state == LampState::kLit;
    const bool not_known = state == LampState::kNotKnownNow;
    const COLORREF colour = lit ? kLitLampColour : kNotKnownLampColour;
    if ((lit || not_known) && message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(lamp, &paint);
        paint_lamp(lamp, dc, colour);
        EndPaint(lamp, &paint);
        return 0;
    }
    if ((lit || not_known) && message == WM_PRINTCLIENT) {
        paint_lamp(lamp, reinterpret_cast<HDC>(wparam), colour);
        return 0;
    }
    return DefSubclassProc(lamp, message, wparam, lparam);
}

}  // namespace

CTarvikDlg::CTarvikDlg(DeviceReadings& readings) : monitor_(*this, readings) {
    monitor_.set_alarm_listener([this](const AlarmEvent& event) { on_alarm(event); });
    monitor_.set_journal_listener([this](const JournalEvent& event) { on_journal_event(event); });
}

CTarvikDlg::~CTarvikDlg() {
    if (window_ != nullptr) {
        tray_.reset();
        DestroyWindow(window_);
    }
    if (tray_menu_ != nullptr) {
        DestroyMenu(tray_menu_);
    }
}

bool CTarvikDlg::create(SettingsStore* settings) {
    settings_ = settings;
    const std::vector<DWORD> main =
        build_dialog_template(dialog_template::kMainDialog, true, false);
    window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATEW>(main.data()), nullptr,
                                         dialog_proc, reinterpret_cast<LPARAM>(this));
    return window_ != nullptr;
}

void CTarvikDlg::show() {
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
}

void CTarvikDlg::run() {
    MSG message;
    while (!closed_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        dispatch(message);
    }
}

void CTarvikDlg::dispatch(MSG& message) {
    // Ctrl+T anywhere in the console opens the trends.
    if (message.message == WM_KEYDOWN && message.wParam == 'T' && GetKeyState(VK_CONTROL) < 0 &&
        window_ != nullptr && (message.hwnd == window_ || IsChild(window_, message.hwnd))) {
        on_trends();
        return;
    }
    if (message.message == WM_KEYDOWN && message.wParam == 'J' && GetKeyState(VK_CONTROL) < 0 &&
        window_ != nullptr && (message.hwnd == window_ || IsChild(window_, message.hwnd))) {
        on_journal();
        return;
    }
    // The dialog manager takes the keys: Tab, Esc, Enter, mnemonics.
    if (window_ != nullptr && IsDialogMessageW(window_, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

HWND CTarvikDlg::control(ControlId id) const {
    if (window_ == nullptr || is_unattached_slot(id)) {
        return nullptr;
    }
    return GetDlgItem(window_, static_cast<int>(id));
}

INT_PTR CALLBACK CTarvikDlg::dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CTarvikDlg*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        self->window_ = window;
        self->on_init_dialog();
        return TRUE;  // the focus goes to the first tab stop, Stop
    }
    auto* self = reinterpret_cast<CTarvikDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr || self->window_ != window) {
        return FALSE;
    }
    return self->on_message(message, wparam, lparam);
}

INT_PTR CTarvikDlg::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            // Clicks only: the edits' and the address box's notifications
            // carry their own codes.
            if (HIWORD(wparam) == BN_CLICKED) {
                on_command(LOWORD(wparam));
            }
            return TRUE;
        case WM_CLOSE:
            on_cancel();
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == kAboutCommand) {
                on_about();
                return TRUE;
            }
            if ((wparam & 0xFFF0) == kTrendsCommand) {
                on_trends();
                return TRUE;
            }
            if ((wparam & 0xFFF0) == kJournalCommand) {
                on_journal();
                return TRUE;
            }
            return FALSE;  // the rest: move, minimise, close...
        case WM_TIMER:
            if (wparam == kAnswerDeadlineTimer) {
                KillTimer(window_, kAnswerDeadlineTimer);
                waiting_ = false;
                monitor_.on_deadline();
            } else {
                on_poll_timer();  // the poll timer's, whatever its identifier
            }
            return TRUE;
        case kAnswerReadyMessage:
            monitor_.on_socket_readable();
            return TRUE;
        case WM_SIZE:
            on_size(wparam);
            return FALSE;
        case kTrayMessage:
            on_tray_notify(lparam);
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_QUERYENDSESSION:
            // Log-off and shutdown may end the process without a close.
            save_history();
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ENDSESSION:
            if (wparam != FALSE) {
                save_history();
            }
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(big_icon_);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return pane_colour(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
        case kShowBoxesMessage:
            on_show_boxes();
            return TRUE;
        case kShowTrayMenuMessage:
            on_tray_menu(lparam);
            return TRUE;
        case kShowAboutMessage:
            if (!closed_) {
                run_about_box(IsWindowVisible(window_) ? window_ : nullptr);
            }
            about_asked_ = false;
            return TRUE;
        default:
            break;
    }
    return FALSE;
}

void CTarvikDlg::on_init_dialog() {
    fit_static_texts(window_);
    if (HMENU system_menu = GetSystemMenu(window_, FALSE)) {
        AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(system_menu, MF_STRING, kTrendsCommand, L"&Trends...\tCtrl+T");
        AppendMenuW(system_menu, MF_STRING, kJournalCommand, L"&Journal...\tCtrl+J");
        AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(system_menu, MF_STRING, kAboutCommand,
                    utf8_to_wide(dialog_template::kAboutItemText).c_str());
    }
    tray_menu_ = CreatePopupMenu();
    AppendMenuW(tray_menu_, MF_STRING, kAboutCommand,
                utf8_to_wide(dialog_template::kAboutItemText).c_str());
    big_icon_ = load_icon(kMainIconId, GetSystemMetrics(SM_CXICON));
    small_icon_ = load_icon(kMainIconId, GetSystemMetrics(SM_CXSMICON));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
    tray_ = std::make_unique<TrayIcon>(window_);
    make_lamps();
    make_status_line();
    SendMessageW(control(ControlId::kKeyField), EM_LIMITTEXT, kKeyLimit, 0);
    monitor_.initialise(settings_);
}

void CTarvikDlg::make_status_line() {
    // Below the controls, which stay where they are: the window grows.
    RECT client;
    GetClientRect(window_, &client);
    RECT line{kStatusLineMargin, 0, kStatusLineMargin, kStatusLineHeight};
    MapDialogRect(window_, &line);
    status_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                              line.left, client.bottom, client.right - 2 * line.left, line.bottom,
                              window_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(status_, WM_SETFONT, SendMessageW(window_, WM_GETFONT, 0, 0), FALSE);
    RECT frame;
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + line.bottom + line.left / 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CTarvikDlg::pane_colour(HWND pane, HDC dc) {
    for (const auto& shown : drawn_.panes) {
        if (control(shown.first) != pane || !is_stale(drawn_, shown.first)) {
            continue;
        }
        // A pane kept from an earlier poll: grey text on the pane's own
        // background.
        const bool read_only = (GetWindowLongPtrW(pane, GWL_STYLE) & ES_READONLY) != 0;
        const int background = read_only ? COLOR_3DFACE : COLOR_WINDOW;
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkColor(dc, GetSysColor(background));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(background));
    }
    return FALSE;  // drawn as the dialog draws it
}

void CTarvikDlg::make_lamps() {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    lamp_tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 window_, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        HWND lamp = control(kVoltageLamps[rail]);
        // A click reaches the monitor and leaves the box as the view has it.
        SetWindowLongPtrW(lamp, GWL_STYLE,
                          (GetWindowLongPtrW(lamp, GWL_STYLE) & ~BS_TYPEMASK) | BS_CHECKBOX);
        SetWindowSubclass(lamp, lamp_proc, static_cast<UINT_PTR>(rail),
                          reinterpret_cast<DWORD_PTR>(this));
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(lamp);
        // Every lamp names its rail and limits, lit or not.
        const std::wstring tip = utf8_to_wide(lamp_tip(LampState::kClear, rail));
        tool.lpszText = const_cast<wchar_t*>(tip.c_str());
        SendMessageW(lamp_tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CTarvikDlg::show_lamp(int rail) {
    HWND lamp = control(kVoltageLamps[rail]);
    // Painted again as the view has it.
    InvalidateRect(lamp, nullptr, TRUE);
    const LampState state = drawn_.lamps[rail];
    const std::wstring tip = utf8_to_wide(lamp_tip(state, rail));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(lamp);
    tool.lpszText = const_cast<wchar_t*>(tip.c_str());
    SendMessageW(lamp_tips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CTarvikDlg::on_command(int id) {
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        if (id == static_cast<int>(kVoltageLamps[rail])) {
            monitor_.on_lamp_click(rail);
            return;
        }
    }
    for (const auto& button : kButtonHandlers) {
        if (id == static_cast<int>(button.id)) {
            monitor_.command(input(), button.handler);
            return;
        }
    }
    if (id == IDCANCEL) {
        on_cancel();
    } else if (id == IDOK) {
        // Enter: the window has no default button, so the dialog manager
        // asks for OK. On a push button that is a click; anywhere else
        // nothing happens, and the console never ends by it.
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus) && is_push_button(focus)) {
            SendMessageW(focus, BM_CLICK, 0, 0);
        }
    }
}

void CTarvikDlg::save_history() {
    if (settings_ != nullptr) {
        monitor_.save_history(*settings_);
    }
}

void CTarvikDlg::on_cancel() {
    if (closed_) {
        return;
    }
    closed_ = true;
    // The monitor ends what is in flight, runs nothing queued, stops
    // polling and writes the history.
    monitor_.close(settings_);
    waiting_ = false;
    KillTimer(window_, kAnswerDeadlineTimer);
    tray_->remove();
    ShowWindow(window_, SW_HIDE);
    // The loop in run() wakes up to see the window closed.
    PostMessageW(nullptr, WM_NULL, 0, 0);
}

void CTarvikDlg::on_size(WPARAM type) {
    if (type != SIZE_MINIMIZED) {
        return;
    }
    update_tray_alarm();
    // Without an icon to come back from, the window just stays minimised.
    if (tray_->add()) {
        ShowWindow(window_, SW_HIDE);
    }
}

void CTarvikDlg::on_tray_notify(LPARAM mouse_message) {
    if (mouse_message != WM_LBUTTONUP && mouse_message != WM_RBUTTONUP) {
        return;
    }
    ShowWindow(window_, SW_RESTORE);
    ShowWindow(window_, SW_SHOW);
    if (GetForegroundWindow() != window_) {
        SetForegroundWindow(window_);
    }
    tray_->remove();
    if (mouse_message == WM_RBUTTONUP) {
        // The right button also opens the icon's menu, at the pointer.
        POINT at{};
        GetCursorPos(&at);
        PostMessageW(window_, kShowTrayMenuMessage, 0, MAKELPARAM(at.x, at.y));
    }
}

void CTarvikDlg::on_tray_menu(LPARAM at) {
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        tray_menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, static_cast<short>(LOWORD(at)),
        static_cast<short>(HIWORD(at)), 0, window_, nullptr));
    if (chosen == kAboutCommand) {
        on_about();
    }
}

void CTarvikDlg::on_about() {
    // Asked again before it opened or while it is open: the one box does.
    if (!about_asked_) {
        about_asked_ = true;
        PostMessageW(window_, kShowAboutMessage, 0, 0);
    }
}

void CTarvikDlg::on_poll_timer() {
    monitor_.on_timer(kPollTimerId);
}

void CTarvikDlg::on_alarm(const AlarmEvent& event) {
    if (tray_ != nullptr) {
        tray_->notify(event.cleared ? "Tarvik: alarm cleared" : "Tarvik alarm", event.text);
    }
    update_tray_alarm();
}

void CTarvikDlg::update_tray_alarm() {
    if (tray_ != nullptr) {
        tray_->set_alarm(drawn_.standing_alarm);
    }
}

void CTarvikDlg::set_text(ControlId id, const std::string& text) {
    HWND c = control(id);
    if (c == nullptr) {
        return;
    }
    // A pane whose text is taller than the pane (the link pane's ends in a
    // third, blank line) is scrolled by Wine's edit control to the caret at
    // the end of the new text and back to the top, and each scroll copies
    // the lines already drawn: until the next paint, the first line showed a
    // copy of the second. Drawing is held off while the text changes, and
    // the whole pane is painted afresh at once after.
    const bool pane = (GetWindowLongW(c, GWL_STYLE) & ES_MULTILINE) != 0;
    if (pane) {
        SendMessageW(c, WM_SETREDRAW, FALSE, 0);
    }
    SetWindowTextW(c, utf8_to_wide(text).c_str());
    if (pane) {
        SendMessageW(c, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(c, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ERASENOW | RDW_UPDATENOW);
    }
}

void CTarvikDlg::on_trends() {
    if (trends_ == nullptr) {
        trends_ = std::make_unique<TrendsWindow>();
        if (!trends_->create()) {
            trends_.reset();
            return;
        }
        trends_->show_history(&monitor_.trends(), "live", &monitor_.quality());
        std::vector<charts::ChartMarker> markers;
        for (const JournalEvent& event : monitor_.journal_events()) {
            markers.push_back(journal_marker(event));
        }
        trends_->set_live_markers(std::move(markers));
        trends_->set_journal(journal_path_);
    }
    trends_->show();
}

std::string CTarvikDlg::get_text(ControlId id) const {
    HWND c = control(id);
    if (c == nullptr) {
        return std::string();
    }
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(c)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(c, &text[0], static_cast<int>(text.size()))));
    return wide_to_utf8(text);
}

OperatorInput CTarvikDlg::input() const {
    return read_operator_input([this](ControlId id) { return get_text(id); },
                               [this](ControlId id) { return get_check(id); });
}

bool CTarvikDlg::get_check(ControlId id) const {
    HWND c = control(id);
    return c != nullptr && SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CTarvikDlg::set_check(ControlId id, bool state) {
    if (HWND c = control(id)) {
        SendMessageW(c, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void CTarvikDlg::draw_history(const std::vector<std::string>& history) {
    HWND box = control(ControlId::kAddressBox);
    if (box == nullptr) {
        return;
    }
    // The list changes; the address as typed stays.
    const std::string typed = get_text(ControlId::kAddressBox);
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : history) {
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8_to_wide(entry).c_str()));
    }
    set_text(ControlId::kAddressBox, typed);
}

void CTarvikDlg::draw(const ViewState& view) {
    const bool all = !drawn_once_;
    const ViewState before = drawn_;
    drawn_ = view;  // the lamps and panes paint from it
    drawn_once_ = true;
    for (const auto& pane : view.panes) {
        const auto shown = before.panes.find(pane.first);
        if (all || shown == before.panes.end() || shown->second != pane.second) {
            set_text(pane.first, pane.second);
        }
        if (all || is_stale(view, pane.first) != is_stale(before, pane.first)) {
            InvalidateRect(control(pane.first), nullptr, TRUE);
        }
    }
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        HWND lamp = control(kVoltageLamps[rail]);
        const bool lit = view.lamps[rail] == LampState::kLit;
        // A lamp is drawn again only when its state changes; a click does
        // not change it (the lamps are not automatic check boxes here).
        if (lamp == nullptr || (!all && view.lamps[rail] == before.lamps[rail])) {
            continue;
        }
        SendMessageW(lamp, BM_SETCHECK, lit ? BST_CHECKED : BST_UNCHECKED, 0);
        show_lamp(rail);
    }
    // The operator's own clicks and typing stand until the monitor fills
    // the boxes or fields anew.
    const FieldCopies copies = field_copies(before, view, all);
    if (copies.switches) {
        set_check(ControlId::kRadioCheckBox, view.radio);
        set_check(ControlId::kHeaterCheckBox, view.heater);
    }
    if (all || view.history != before.history) {
        draw_history(view.history);
    }
    if (copies.fields) {
        set_text(ControlId::kAddressBox, view.fields.address);
        set_text(ControlId::kCommunityField, view.fields.community);
        set_text(ControlId::kIntervalField, view.fields.interval);
        set_check(ControlId::kLogCheckBox, view.fields.log);
        set_text(ControlId::kLogFileField, view.fields.log_file);
    }
    for (ControlId id : {ControlId::kLogCheckBox, ControlId::kLogFileField}) {
        if (HWND c = control(id)) {
            EnableWindow(c, view.log_controls_enabled ? TRUE : FALSE);
        }
    }
    if (status_ != nullptr) {
        SetWindowTextW(status_, utf8_to_wide(view.status).c_str());
    }
    update_tray_alarm();
    // The monitor put the poll in the history: an open trends window shows it.
    if (!all && view.polls_shown != before.polls_shown && trends_ != nullptr &&
        IsWindowVisible(trends_->window())) {
        trends_->refresh();
    }
}

void CTarvikDlg::start_timer(int period_ms) {
    // Setting timer 1 again replaces it.
    SetTimer(window_, kPollTimerId, static_cast<UINT>(period_ms), nullptr);
}

void CTarvikDlg::stop_timer() {
    KillTimer(window_, kPollTimerId);
}

void CTarvikDlg::await_answer(std::intptr_t socket, int wait_ms) {
    // Readiness and the deadline come as messages, which every loop of the
    // thread delivers: a box's, a menu's, moving or sizing the window.
    if (socket != watched_socket_) {
        WSAAsyncSelect(static_cast<SOCKET>(socket), window_, kAnswerReadyMessage, FD_READ);
        watched_socket_ = socket;
    }
    waiting_ = true;
    deadline_ = now() + std::chrono::milliseconds(wait_ms);
    SetTimer(window_, kAnswerDeadlineTimer, static_cast<UINT>(wait_ms), nullptr);
}

void CTarvikDlg::advance(std::chrono::milliseconds step) {
    offset_ += step;
    if (!waiting_) {
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - now()).count();
    if (left > 0) {
        SetTimer(window_, kAnswerDeadlineTimer, static_cast<UINT>(left), nullptr);
        return;
    }
    KillTimer(window_, kAnswerDeadlineTimer);
    waiting_ = false;
    monitor_.on_deadline();
}

void CTarvikDlg::end_wait() {
    waiting_ = false;
    KillTimer(window_, kAnswerDeadlineTimer);
}

void CTarvikDlg::message_box(const std::string& text) {
    if (message_box_hook_) {
        message_box_hook_(text);
        monitor_.message_box_closed(text);
        return;
    }
    // Shown once the message that raised it is through; the monitor asks
    // for the next only after this one closed.
    waiting_boxes_.push_back(text);
    PostMessageW(window_, kShowBoxesMessage, 0, 0);
}

void CTarvikDlg::on_show_boxes() {
    while (!waiting_boxes_.empty() && !closed_) {
        const std::string text = waiting_boxes_.front();
        waiting_boxes_.erase(waiting_boxes_.begin());
        // Ticks, answers and deadlines go on inside the box's own loop.
        MessageBoxW(IsWindowVisible(window_) ? window_ : nullptr, utf8_to_wide(text).c_str(),
                    program_name().c_str(), MB_OK | MB_ICONEXCLAMATION);
        monitor_.message_box_closed(text);
    }
}

void CTarvikDlg::set_journal(const std::string& path) {
    journal_path_ = path;
    monitor_.set_journal(path);
}

void CTarvikDlg::on_journal() {
    if (journal_ == nullptr) {
        journal_ = std::make_unique<JournalWindow>();
        if (!journal_->create()) {
            journal_.reset();
            return;
        }
        // The file holds the past and, when it could be written, this
        // session's events too.
        journal_->load(journal_path_);
        journal_->add_missing(monitor_.journal_events());
    }
    journal_->show();
}

void CTarvikDlg::on_journal_event(const JournalEvent& event) {
    if (journal_ != nullptr) {
        journal_->add(event);
    }
    if (trends_ != nullptr) {
        trends_->add_live_marker(journal_marker(event));
    }
}
