#include "win32/tray_icon.h"

#include <cwchar>

#include "process/wide_text.h"
#include "res/dialog_templates.h"

namespace {

// Copies as much of `text` as `dest` holds with its terminator.
template <size_t N>
void copy_wide(wchar_t (&dest)[N], const std::string& text) {
    const std::wstring wide = utf8_to_wide(text);
    const size_t length = wide.size() < N ? wide.size() : N - 1;
    wide.copy(dest, length);
    dest[length] = L'\0';
}

}  // namespace

HICON load_icon(int id, int size) {
    const UINT flags = size == 0 ? LR_DEFAULTSIZE | LR_SHARED : LR_SHARED;
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, flags));
    if (icon == nullptr) {
        // No resource file linked in: the stock icons, the alarm's a warning.
        const auto stock = id == kTrayAlarmIconId ? IDI_WARNING : IDI_APPLICATION;
        icon = static_cast<HICON>(
            LoadImageW(nullptr, stock, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    }
    return icon;
}

TrayIcon::TrayIcon(HWND owner)
    : owner_(owner),
      shell_([](DWORD message, NOTIFYICONDATAW* data) {
          return Shell_NotifyIconW(message, data) != FALSE;
      }),
      normal_icon_(load_icon(kTrayIconId, GetSystemMetrics(SM_CXSMICON))),
      alarm_icon_(load_icon(kTrayAlarmIconId, GetSystemMetrics(SM_CXSMICON))) {}

TrayIcon::~TrayIcon() {
    remove();
}

NOTIFYICONDATAW TrayIcon::data(UINT flags) const {
    NOTIFYICONDATAW d{};
    d.cbSize = sizeof d;
    d.hWnd = owner_;
    d.uID = 0;
    d.uFlags = flags;
    d.uCallbackMessage = kTrayMessage;
    d.hIcon = icon();
    copy_wide(d.szTip, tip());
    return d;
}

bool TrayIcon::add() {
    if (shown_) {
        return true;
    }
    NOTIFYICONDATAW d = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    shown_ = shell_(NIM_ADD, &d);
    return shown_;
}

void TrayIcon::remove() {
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW d = data(0);
    shell_(NIM_DELETE, &d);  // the result changes nothing
    shown_ = false;
}

void TrayIcon::set_alarm(const std::string& alarm) {
    if (alarm == alarm_) {
        return;
    }
    alarm_ = alarm;
    if (shown_) {
        NOTIFYICONDATAW d = data(NIF_ICON | NIF_TIP);
        shell_(NIM_MODIFY, &d);
    }
}

void TrayIcon::notify(const std::string& title, const std::string& text) {
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW d = data(NIF_INFO);
    copy_wide(d.szInfoTitle, title);
    copy_wide(d.szInfo, text);
    d.dwInfoFlags = NIIF_WARNING;
    shell_(NIM_MODIFY, &d);
}

std::string TrayIcon::tip() const {
    std::string tip = dialog_template::kTrayTip;
    if (!alarm_.empty()) {
        tip += ": " + alarm_;
    }
    return tip;
}
