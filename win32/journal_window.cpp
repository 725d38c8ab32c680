#include "win32/journal_window.h"

#include <algorithm>
#include <cwchar>

#include "process/wide_text.h"
#include "win32/window_setup.h"

namespace {

constexpr wchar_t kClassName[] = L"TarvikJournal";
constexpr int kWindowWidth = 900;
constexpr int kWindowHeight = 520;
constexpr int kBarHeight = 30;
constexpr int kStatusHeight = 20;
constexpr int kDeviceBox = 101;
constexpr int kKindBox = 102;
constexpr int kList = 103;
// The first three columns' widths in pixels; the detail takes the rest.
constexpr int kColumnWidths[] = {130, 170, 150};

}  // namespace

JournalWindow::JournalWindow() = default;

JournalWindow::~JournalWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

bool JournalWindow::create() {
    register_window_class(kClassName, 0, window_proc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES);
    CreateWindowExW(0, kClassName, L"Tarvik journal", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        return false;
    }
    make_controls();
    lay_out();
    update_status();
    return true;
}

void JournalWindow::show() {
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
}

void JournalWindow::make_controls() {
    const auto child = [this](const wchar_t* cls, DWORD style, int id) {
        return make_child(window_, cls, L"", style, id);
    };
    device_box_ = child(WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kDeviceBox);
    SendMessageW(device_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"All devices"));
    SendMessageW(device_box_, CB_SETCURSEL, 0, 0);
    kind_box_ = child(WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kKindBox);
    SendMessageW(kind_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"All kinds"));
    for (int k = 0; k < kJournalKindCount; ++k) {
        const std::wstring label = utf8_to_wide(journal_kind_label(static_cast<JournalKind>(k)));
        SendMessageW(kind_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    SendMessageW(kind_box_, CB_SETCURSEL, 0, 0);
    list_ = child(WC_LISTVIEWW,
                  LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, kList);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int c = 0; c < JournalView::kColumnCount; ++c) {
        std::wstring title = utf8_to_wide(JournalView::column_title(c));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title.data();
        column.cx = c < static_cast<int>(std::size(kColumnWidths)) ? kColumnWidths[c] : 400;
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
    }
    status_ = child(WC_STATICW, SS_LEFT | SS_NOPREFIX, 0);
}

void JournalWindow::lay_out() {
    RECT client{};
    GetClientRect(window_, &client);
    const int width = client.right;
    const int height = client.bottom;
    MoveWindow(device_box_, 4, 4, 220, 300, TRUE);
    MoveWindow(kind_box_, 232, 4, 180, 400, TRUE);
    MoveWindow(list_, 4, kBarHeight, std::max(1, width - 8),
               std::max(1, height - kBarHeight - kStatusHeight), TRUE);
    MoveWindow(status_, 6, height - kStatusHeight + 3, std::max(1, width - 12), kStatusHeight - 4,
               TRUE);
}

LRESULT CALLBACK JournalWindow::window_proc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
    return owner_window_proc(window, message, wparam, lparam, &JournalWindow::window_,
                             &JournalWindow::on_message);
}

LRESULT JournalWindow::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE:
            if (list_ != nullptr) {
                lay_out();
            }
            return 0;
        case WM_COMMAND:
            if (HIWORD(wparam) == CBN_SELCHANGE) {
                on_filter_chosen();
            }
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lparam);
            if (header->hwndFrom == list_ && header->code == LVN_GETDISPINFOW) {
                on_get_text(*reinterpret_cast<NMLVDISPINFOW*>(lparam));
            }
            return 0;
        }
        case WM_CLOSE:
            // Closing hides it: the console opens it again as it was.
            ShowWindow(window_, SW_HIDE);
            return 0;
        case WM_NCDESTROY: {
            HWND window = window_;
            window_ = nullptr;
            return DefWindowProcW(window, message, wparam, lparam);
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}

void JournalWindow::on_get_text(NMLVDISPINFOW& info) {
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.pszText == nullptr ||
        info.item.cchTextMax <= 0) {
        return;
    }
    cell_ = utf8_to_wide(view_.cell(static_cast<std::size_t>(info.item.iItem), info.item.iSubItem));
    const std::size_t room = static_cast<std::size_t>(info.item.cchTextMax) - 1;
    const std::size_t n = std::min(room, cell_.size());
    std::wmemcpy(info.item.pszText, cell_.c_str(), n);
    info.item.pszText[n] = L'\0';
}

std::uint64_t JournalWindow::load(const std::string& path) {
    if (path.empty()) {
        return 0;
    }
    const std::uint64_t read = read_journal_files(
        journal_files(path), [this](const JournalEvent& e) { view_.add(e); },
        [this](const std::string&) { ++problems_; });
    update_devices();
    show_rows();
    return read;
}

void JournalWindow::add_missing(const std::deque<JournalEvent>& events) {
    view_.add_missing(events);
    update_devices();
    show_rows();
}

void JournalWindow::add(const JournalEvent& event) {
    view_.add(event);
    update_devices();
    show_rows();
}

void JournalWindow::on_filter_chosen() {
    const auto chosen = [](HWND box) {
        return static_cast<int>(SendMessageW(box, CB_GETCURSEL, 0, 0)) - 1;
    };
    view_.set_device_filter(chosen(device_box_));
    view_.set_kind_filter(chosen(kind_box_));
    show_rows();
}

void JournalWindow::show_rows() {
    if (list_ == nullptr) {
        return;
    }
    SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(view_.rows()), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, FALSE);
    update_status();
}

void JournalWindow::update_devices() {
    if (device_box_ == nullptr) {
        return;
    }
    const auto items = static_cast<std::size_t>(SendMessageW(device_box_, CB_GETCOUNT, 0, 0));
    for (std::size_t i = items - 1; i < view_.devices().size(); ++i) {
        const std::wstring name = utf8_to_wide(view_.devices()[i]);
        SendMessageW(device_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
}

void JournalWindow::update_status() {
    if (status_ == nullptr) {
        return;
    }
    std::string text = std::to_string(view_.rows()) + " events shown";
    if (view_.dropped() > 0) {
        text += "; the " + std::to_string(view_.dropped()) + " oldest not held";
    }
    if (problems_ > 0) {
        text += "; " + std::to_string(problems_) + " journal lines could not be read";
    }
    SetWindowTextW(status_, utf8_to_wide(text).c_str());
}
