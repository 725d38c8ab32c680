#include "win32/trends_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cwchar>
#include <thread>

#include "logbook/error_performance.h"
#include "monitor/journal_view.h"
#include "process/wide_text.h"
#include "win32/system_function.h"
#include "win32/window_setup.h"

namespace {

constexpr wchar_t kClassName[] = L"TarvikTrends";
constexpr int kBarHeight = 30;
constexpr int kWindowWidth = 1000;
constexpr int kWindowHeight = 1000;
constexpr int kSpanBox = 101;
constexpr int kLiveButton = 102;
constexpr int kOpenButton = 103;
constexpr int kSaveButton = 104;
constexpr int kCancelButton = 105;
constexpr UINT kLoadDone = WM_APP + 1;  // wparam: the load's number
// The note on a log just read, shown once the load's message is through.
constexpr UINT kTrendsNoteMessage = WM_APP + 2;
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressPeriodMs = 100;
constexpr int kProgressSteps = 1000;
constexpr int kPixelsPerColumn = 2;
// One step of the mouse wheel narrows the shown time by this factor.
constexpr double kZoomStep = 0.8;
constexpr double kShortestView = 10;  // seconds

struct SpanChoice {
    const wchar_t* text;
    double seconds;  // 0: everything held
};
constexpr SpanChoice kSpans[] = {
    {L"5 min", 5 * 60.0}, {L"1 h", 3600.0}, {L"24 h", 24 * 3600.0}, {L"all", 0}};

// The name of the file at the end of `path`.
std::string file_name(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return wide_to_utf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

}  // namespace

// A log being read on a thread of its own into a history of its own; the
// window's thread only reads `bytes` and sets `cancel` until `done`.
struct TrendsWindow::Load {
    uint64_t number = 0;
    std::wstring path;
    uint64_t size = 0;
    std::unique_ptr<ReadingHistory> history = std::make_unique<ReadingHistory>();
    LogLoad result;
    std::string journal;  // read for the log's markers once it is read
    std::vector<charts::ChartMarker> markers;
    std::atomic<uint64_t> bytes{0};
    std::atomic<bool> cancel{false};
    // Under MinGW a thread must be detached before it ends: it waits for this.
    std::atomic<bool> detached{false};
    bool report = false;  // the operator opened it: problems are shown
};

TrendsWindow::TrendsWindow() = default;

TrendsWindow::~TrendsWindow() {
    cancel_load();
    if (window_ != nullptr) {
        quit_on_close_ = false;
        DestroyWindow(window_);
    }
}

bool TrendsWindow::create(bool quit_on_close) {
    quit_on_close_ = quit_on_close;
    register_window_class(kClassName, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, window_proc,
                          ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS);
    // A usual size, no larger than the screen leaves room for.
    RECT work{0, 0, kWindowWidth, kWindowHeight};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    CreateWindowExW(0, kClassName, L"Tarvik trends", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    CW_USEDEFAULT, CW_USEDEFAULT,
                    std::min<int>(kWindowWidth, static_cast<int>(work.right - work.left)),
                    std::min<int>(kWindowHeight, static_cast<int>(work.bottom - work.top)), nullptr,
                    nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        return false;
    }
    make_bar();
    lay_out();
    update_title();
    refresh();
    return true;
}

void TrendsWindow::show() {
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    refresh();
}

int TrendsWindow::bar_height() const {
    return kBarHeight;
}

void TrendsWindow::make_bar() {
    const auto child = [this](const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        return make_child(window_, cls, text, style, id);
    };
    span_box_ = child(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kSpanBox);
    for (const SpanChoice& s : kSpans) {
        SendMessageW(span_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.text));
    }
    SendMessageW(span_box_, CB_SETCURSEL, static_cast<WPARAM>(span_), 0);
    live_button_ = child(WC_BUTTONW, L"&Live", BS_PUSHBUTTON | WS_TABSTOP, kLiveButton);
    open_button_ = child(WC_BUTTONW, L"&Open log...", BS_PUSHBUTTON | WS_TABSTOP, kOpenButton);
    save_button_ = child(WC_BUTTONW, L"&Save as PNG...", BS_PUSHBUTTON | WS_TABSTOP, kSaveButton);
    progress_ = child(PROGRESS_CLASSW, L"", 0, 0);
    SendMessageW(progress_, PBM_SETRANGE32, 0, kProgressSteps);
    cancel_button_ = child(WC_BUTTONW, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, kCancelButton);
    ShowWindow(live_button_, SW_HIDE);
    show_progress(false);
}

void TrendsWindow::lay_out() {
    RECT client{};
    GetClientRect(window_, &client);
    const int width = client.right;
    MoveWindow(span_box_, 4, 4, 80, 200, TRUE);
    MoveWindow(progress_, 96, 6, 200, 18, TRUE);
    MoveWindow(cancel_button_, 302, 4, 70, 22, TRUE);
    MoveWindow(save_button_, width - 114, 4, 110, 22, TRUE);
    MoveWindow(open_button_, width - 218, 4, 100, 22, TRUE);
    MoveWindow(live_button_, width - 282, 4, 60, 22, TRUE);
    page_ = lay_out_quality_page(std::max(1, width), std::max(1, int(client.bottom) - kBarHeight),
                                 &quality_.box);
}

void TrendsWindow::show_progress(bool loading) {
    ShowWindow(progress_, loading ? SW_SHOW : SW_HIDE);
    ShowWindow(cancel_button_, loading ? SW_SHOW : SW_HIDE);
    if (loading) {
        SendMessageW(progress_, PBM_SETPOS, 0, 0);
        SetTimer(window_, kProgressTimer, kProgressPeriodMs, nullptr);
    } else if (window_ != nullptr) {
        KillTimer(window_, kProgressTimer);
    }
}

void TrendsWindow::show_history(const ReadingHistory* history, const std::string& source,
                                const ErrorPerformance* quality) {
    live_history_ = history;
    live_source_ = source;
    live_quality_ = quality;
    use_history(history, source, 0);
}

bool TrendsWindow::show_live() {
    if (live_history_ == nullptr) {
        return false;
    }
    own_history_.reset();
    log_quality_.clear();
    log_markers_.clear();
    use_history(live_history_, live_source_, 0);
    return true;
}

void TrendsWindow::take_history(std::unique_ptr<ReadingHistory> history, const std::string& source,
                                std::vector<charts::QualityBar> quality,
                                std::vector<charts::ChartMarker> markers) {
    own_history_ = std::move(history);
    log_quality_ = std::move(quality);
    log_markers_ = std::move(markers);
    // A log stamps its lines to the second.
    use_history(own_history_.get(), source, 1);
}

void TrendsWindow::use_history(const ReadingHistory* history, const std::string& source,
                               double resolution) {
    history_ = history;
    source_ = source;
    resolution_ = resolution;
    zoomed_ = false;
    if (live_button_ != nullptr) {
        ShowWindow(live_button_,
                   live_history_ != nullptr && history_ != live_history_ ? SW_SHOW : SW_HIDE);
    }
    update_title();
    refresh();
}

void TrendsWindow::update_title() {
    if (window_ != nullptr) {
        const std::string title = "Tarvik trends" + (source_.empty() ? "" : ": " + source_);
        SetWindowTextW(window_, utf8_to_wide(title).c_str());
    }
}

void TrendsWindow::refresh() {
    static const ReadingHistory kEmpty(2);
    charts::PlanRequest request;
    request.span = kSpans[static_cast<int>(span_)].seconds;
    request.zoom = zoomed_ ? &zoom_ : nullptr;
    request.pixels_per_column = kPixelsPerColumn;
    request.resolution = resolution_;
    request.hidden = hidden_;
    request.markers = own_history_ != nullptr ? &log_markers_ : &live_markers_;
    plan_ = charts::plan_page(history_ != nullptr ? *history_ : kEmpty, request, page_);
    if (zoomed_) {
        zoom_ = plan_.view;
    }
    std::vector<charts::QualityBar> bins;
    if (history_ != nullptr && history_ == live_history_ && live_quality_ != nullptr) {
        // What is still pending shows as it stands now.
        ErrorPerformance now = *live_quality_;
        now.finish();
        bins = quality_bars(now);
    } else if (history_ != nullptr && history_ != live_history_) {
        bins = log_quality_;
    }
    const bool all = span_ == Span::kAll && !zoomed_;
    quality_.plan = charts::plan_quality_chart(
        bars_in_view(bins, all ? 0 : plan_.view.from, all ? 0 : plan_.view.to),
        static_cast<int>(quality_.box.width));
    if (hovering_) {
        hover_rows_ = cursor_rows(time_at(hover_.x));
    }
    if (window_ != nullptr) {
        RECT charts{0, kBarHeight, page_.width, kBarHeight + page_.height};
        InvalidateRect(window_, &charts, FALSE);
    }
}

void TrendsWindow::set_span(Span span) {
    span_ = span;
    zoomed_ = false;
    if (span_box_ != nullptr) {
        SendMessageW(span_box_, CB_SETCURSEL, static_cast<WPARAM>(span), 0);
    }
    refresh();
}

void TrendsWindow::set_view(double from, double to) {
    zoomed_ = true;
    zoom_ = {from, to, 0};
    refresh();
}

void TrendsWindow::zoom(double factor, double around) {
    const double from = around - (around - view_from()) * factor;
    const double to = around + (view_to() - around) * factor;
    if (to - from >= kShortestView) {
        set_view(from, to);
    }
}

double TrendsWindow::time_at(int x) const {
    if (page_.plots.empty() || page_.plots.front().width <= 0) {
        return plan_.view.from;
    }
    const charts::PlotBox& box = page_.plots.front();
    return plan_.view.from + (x - box.left) / box.width * (plan_.view.to - plan_.view.from);
}

int TrendsWindow::plot_at(int x, int y) const {
    y -= kBarHeight;
    for (std::size_t i = 0; i < page_.plots.size(); ++i) {
        const charts::PlotBox& b = page_.plots[i];
        if (x >= b.left && x <= b.left + b.width && y >= b.top && y <= b.top + b.height) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<std::string> TrendsWindow::cursor_rows(double seconds) const {
    if (history_ == nullptr) {
        return {};
    }
    std::vector<std::string> rows = charts::tooltip_rows(*history_, plan_, seconds, true);
    // Within a few pixels: a column is kPixelsPerColumn wide.
    std::string events = charts::marker_text_near(plan_, seconds, plan_.column_seconds * 2);
    for (std::size_t start = 0; !events.empty() && start <= events.size();) {
        const std::size_t end = std::min(events.find('\n', start), events.size());
        rows.push_back(events.substr(start, end - start));
        start = end + 1;
    }
    return rows;
}

void TrendsWindow::set_live_markers(std::vector<charts::ChartMarker> markers) {
    live_markers_ = std::move(markers);
}

void TrendsWindow::add_live_marker(charts::ChartMarker marker) {
    live_markers_.push_back(std::move(marker));
}

bool TrendsWindow::start_log_load(const std::wstring& path, LogLoad* refusal) {
    cancel_load();
    const std::string narrow = wide_to_utf8(path);
    LogLoad checked = check_log_file(narrow);
    if (checked.status != LogLoad::Status::kRead) {
        last_load_ = checked;
        if (refusal != nullptr) {
            *refusal = std::move(checked);
        }
        return false;
    }
    auto load = std::make_shared<Load>();
    load->path = path;
    load->size = checked.bytes;
    load->number = ++loads_started_;
    load->journal = journal_;
    HWND window = window_;
    std::thread reader([load, window, narrow] {
        while (!load->detached) {
            Sleep(1);
        }
        load->result = load_log_file(narrow, *load->history, [&load](uint64_t bytes) {
            load->bytes = bytes;
            return !load->cancel;
        });
        if (load->result.status == LogLoad::Status::kRead) {
            load->markers = log_journal_markers(load->journal, *load->history, load->result.serials,
                                                [](const std::string&) {});
        }
        PostMessageW(window, kLoadDone, static_cast<WPARAM>(load->number), 0);
    });
    reader.detach();
    load->detached = true;
    load_ = std::move(load);
    show_progress(true);
    return true;
}

void TrendsWindow::cancel_load() {
    if (load_ == nullptr) {
        return;
    }
    // The thread looks at the flag after every chunk; its result is dropped.
    load_->cancel = true;
    load_.reset();
    show_progress(false);
    last_load_ = LogLoad();
    last_load_.status = LogLoad::Status::kStopped;
}

void TrendsWindow::finish_load(uint64_t number) {
    if (load_ == nullptr || load_->number != number) {
        return;  // cancelled, or replaced by a newer load
    }
    std::shared_ptr<Load> done = std::move(load_);
    show_progress(false);
    last_load_ = std::move(done->result);
    if (last_load_.status == LogLoad::Status::kRead) {
        take_history(std::move(done->history), file_name(done->path), last_load_.quality,
                     std::move(done->markers));
    }
    if (!done->report) {
        return;
    }
    std::string note;
    if (last_load_.status == LogLoad::Status::kCannotOpen) {
        note = "Could not read the log: " + last_load_.error;
    } else if (last_load_.totals.problems > 0) {
        note = std::to_string(last_load_.totals.problems) +
               " lines could not be read; the first: " + last_load_.problems.front();
    }
    const std::string notice = log_load_notice(last_load_);
    if (!notice.empty()) {
        note += (note.empty() ? "" : "\n") + notice;
    }
    if (!note.empty()) {
        waiting_note_ = note;
        PostMessageW(window_, kTrendsNoteMessage, 0, 0);
    }
}

bool TrendsWindow::open_log(const std::wstring& path, LogLoad* load) {
    const bool started = start_log_load(path);
    while (started && load_ != nullptr) {
        MSG message;
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (load != nullptr) {
        *load = last_load_;
    }
    return started && last_load_.status == LogLoad::Status::kRead;
}

bool TrendsWindow::save_png(const std::wstring& path, std::string* error) {
    PageBitmap bitmap(page_.width, page_.height);
    render_trends(plan_, page_, bitmap, &quality_);
    return ::save_png(bitmap, path, error);
}

namespace {

// The file the operator picks in the system's Open or Save dialog (`save`),
// starting at `start`; empty when the dialog is cancelled or cannot open.
std::wstring choose_file(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                         const wchar_t* start) {
    wchar_t file[MAX_PATH] = L"";
    wcsncpy(file, start, MAX_PATH - 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = save ? L"png" : nullptr;
    ofn.Flags = OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    using Dialog = decltype(&GetOpenFileNameW);
    static const auto open_dialog = system_function<Dialog>(L"comdlg32.dll", "GetOpenFileNameW");
    static const auto save_dialog = system_function<Dialog>(L"comdlg32.dll", "GetSaveFileNameW");
    const Dialog dialog = save ? save_dialog : open_dialog;
    return dialog != nullptr && dialog(&ofn) ? std::wstring(file) : std::wstring();
}

}  // namespace

void TrendsWindow::warn(const std::string& text) {
    MessageBoxW(window_, utf8_to_wide(text).c_str(), L"Tarvik trends", MB_OK | MB_ICONEXCLAMATION);
}

void TrendsWindow::on_open_clicked() {
    const std::wstring file = choose_file(window_, false, L"Open log",
                                          L"Logs (*.log)\0*.log\0All files (*.*)\0*.*\0", L"");
    if (file.empty()) {
        return;
    }
    LogLoad refusal;
    if (!start_log_load(file, &refusal)) {
        warn("Could not open " + wide_to_utf8(file) + ": " + refusal.error);
        return;
    }
    load_->report = true;
}

void TrendsWindow::on_save_clicked() {
    const std::wstring file =
        choose_file(window_, true, L"Save as PNG", L"PNG images (*.png)\0*.png\0", L"trends.png");
    std::string error;
    if (!file.empty() && !save_png(file, &error)) {
        warn("Could not save " + wide_to_utf8(file) + ": " + error);
    }
}

void TrendsWindow::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT client{};
    GetClientRect(window_, &client);
    RECT bar{0, 0, client.right, kBarHeight};
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
    if (page_.width > 0 && page_.height > 0) {
        // Drawn into a bitmap first, so that a redraw never flickers.
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, page_.width, page_.height);
        HGDIOBJ old = SelectObject(memory, bitmap);
        draw_trends(memory, plan_, page_, &quality_);
        if (hovering_ && !hover_rows_.empty()) {
            RECT bounds{0, 0, page_.width, page_.height};
            draw_tooltip(memory, hover_rows_, hover_.x, hover_.y - kBarHeight, bounds);
        }
        BitBlt(dc, 0, kBarHeight, page_.width, page_.height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    EndPaint(window_, &ps);
}

void TrendsWindow::on_mouse_move(int x, int y) {
    if (dragging_) {
        const charts::PlotBox& box = page_.plots.front();
        const double shift = (x - drag_x_) / box.width * (drag_view_.to - drag_view_.from);
        set_view(drag_view_.from - shift, drag_view_.to - shift);
        return;
    }
    const bool over = plot_at(x, y) >= 0 && history_ != nullptr;
    if (!over && !hovering_) {
        return;
    }
    if (!hovering_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window_, 0};
        TrackMouseEvent(&track);
    }
    hovering_ = over;
    hover_ = {x, y};
    hover_rows_ = over ? cursor_rows(time_at(x)) : std::vector<std::string>();
    RECT charts{0, kBarHeight, page_.width, kBarHeight + page_.height};
    InvalidateRect(window_, &charts, FALSE);
}

LRESULT CALLBACK TrendsWindow::window_proc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
    return owner_window_proc(window, message, wparam, lparam, &TrendsWindow::window_,
                             &TrendsWindow::on_message);
}

LRESULT TrendsWindow::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE:
            if (span_box_ != nullptr) {
                lay_out();
                refresh();
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the whole client is painted
        case WM_PAINT:
            paint();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case kSpanBox:
                    if (HIWORD(wparam) == CBN_SELCHANGE) {
                        const LRESULT chosen = SendMessageW(span_box_, CB_GETCURSEL, 0, 0);
                        if (chosen >= 0 && chosen < static_cast<LRESULT>(std::size(kSpans))) {
                            set_span(static_cast<Span>(chosen));
                        }
                    }
                    break;
                case kLiveButton:
                    show_live();
                    break;
                case kOpenButton:
                    on_open_clicked();
                    break;
                case kSaveButton:
                    on_save_clicked();
                    break;
                case kCancelButton:
                    cancel_load();
                    break;
                default:
                    break;
            }
            return 0;
        case WM_TIMER:
            if (wparam == kProgressTimer && load_ != nullptr && load_->size > 0) {
                const double share =
                    static_cast<double>(load_->bytes.load()) / static_cast<double>(load_->size);
                SendMessageW(progress_, PBM_SETPOS,
                             static_cast<WPARAM>(std::min(share, 1.0) * (kProgressSteps - 1)), 0);
            }
            return 0;
        case kLoadDone:
            finish_load(static_cast<uint64_t>(wparam));
            return 0;
        case kTrendsNoteMessage:
            if (!waiting_note_.empty()) {
                const std::wstring note = utf8_to_wide(waiting_note_);
                waiting_note_.clear();
                MessageBoxW(window_, note.c_str(), L"Tarvik trends", MB_OK | MB_ICONINFORMATION);
            }
            return 0;
        case WM_MOUSEWHEEL: {
            POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            ScreenToClient(window_, &at);
            // A notch is 120; fine wheels send a part of one.
            const double steps = GET_WHEEL_DELTA_WPARAM(wparam) / 120.0;
            if (steps != 0 && history_ != nullptr && plot_at(at.x, at.y) >= 0) {
                zoom(std::pow(kZoomStep, steps), time_at(at.x));
            }
            return 0;
        }
        case WM_LBUTTONDOWN: {
            const int x = GET_X_LPARAM(lparam);
            const int y = GET_Y_LPARAM(lparam);
            if (plot_at(x, y) >= 0 && history_ != nullptr) {
                dragging_ = true;
                drag_x_ = x;
                drag_view_ = plan_.view;
                SetCapture(window_);
                return 0;
            }
            // A click on a legend entry hides or shows its series; the axes
            // then hold the series shown.
            const int trace = charts::legend_entry_at(plan_, page_, x, y - kBarHeight);
            if (trace >= 0) {
                hidden_.flip(static_cast<std::size_t>(trace));
                refresh();
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            on_mouse_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            return 0;
        case WM_LBUTTONUP:
            if (dragging_) {
                dragging_ = false;
                ReleaseCapture();
            }
            return 0;
        case WM_LBUTTONDBLCLK:
            // Back to the chosen time window, following new polls.
            zoomed_ = false;
            refresh();
            return 0;
        case WM_MOUSELEAVE:
            hovering_ = false;
            refresh();
            return 0;
        case WM_CLOSE:
            if (quit_on_close_) {
                DestroyWindow(window_);
            } else {
                ShowWindow(window_, SW_HIDE);  // opened again from the console
            }
            return 0;
        case WM_DESTROY:
            closed_ = true;
            if (quit_on_close_) {
                PostQuitMessage(0);
            }
            window_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}
