#include "window_fixture.h"

#include <chrono>

#include "process/wide_text.h"

void Win32WindowTest::SetUp() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[MAX_PATH];
    GetTempFileNameW(temp, L"trv", 0, name);
    DeleteFileW(name);
    ASSERT_TRUE(CreateDirectoryW(name, nullptr));
    folder_ = name;
    ini_path_ = wide_to_utf8(folder_ + L"\\tarvikw.INI");
    settings_ = std::make_unique<ProfileSettingsStore>(ini_path_);
    // Fixed values, so that panes can be compared with the readings.
    sim_.freeze_time(100.0);
    ASSERT_TRUE(sim_.start());
}

void Win32WindowTest::TearDown() {
    window_.reset();
    pump();
    sim_.stop();
    // The folder and what the test left in it.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((folder_ + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder_.c_str());
}

CTarvikDlg& Win32WindowTest::open_window() {
    window_ = std::make_unique<CTarvikDlg>(readings_);
    window_->set_message_box_hook([this](const std::string& text) { messages_.push_back(text); });
    window_->monitor().set_default_port(sim_.port());
    // The real two-second wait is the link's own test; here a silence need
    // only outlast a loopback answer.
    window_->monitor().link().answer_wait = std::chrono::milliseconds(500);
    EXPECT_TRUE(window_->create(settings_.get()));
    window_->show();
    pump();
    return *window_;
}

void Win32WindowTest::pump_queued() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (window_ != nullptr) {
            window_->dispatch(message);
        } else {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void Win32WindowTest::pump() {
    pump_queued();
    // An exchange in flight ends by the socket's or the deadline's message.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (window_ != nullptr && window_->monitor().busy() &&
           std::chrono::steady_clock::now() < until) {
        if (step_silences_ && sim_.faults().silent && window_->monitor().waiting()) {
            window_->advance(window_->monitor().link().answer_wait);
            pump_queued();
            continue;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        pump_queued();
    }
}

void Win32WindowTest::click(ControlId id) {
    SendMessageW(window_->control(id), BM_CLICK, 0, 0);
    pump();
}

void Win32WindowTest::focus(ControlId id) {
    SendMessageW(window_->window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window_->control(id)),
                 TRUE);
    pump();
}

void Win32WindowTest::press(UINT key) {
    HWND target = GetFocus();
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
    pump();
}

std::string Win32WindowTest::text(ControlId id) {
    HWND c = window_->control(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(c)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(c, &text[0], static_cast<int>(text.size()))));
    return wide_to_utf8(text);
}

void Win32WindowTest::set_text(ControlId id, const std::string& text) {
    SetWindowTextW(window_->control(id), utf8_to_wide(text).c_str());
}

bool Win32WindowTest::checked(ControlId id) {
    return SendMessageW(window_->control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::string> Win32WindowTest::list() {
    HWND box = window_->control(ControlId::kAddressBox);
    std::vector<std::string> items;
    const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<size_t>(SendMessageW(box, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        const LRESULT copied =
            SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        items.push_back(wide_to_utf8(item));
    }
    return items;
}

void Win32WindowTest::draw_pane(ControlId pane, const std::string& text) {
    ViewState view = window_->monitor().view();
    view.panes[pane] = text;
    window_->draw(view);
}

std::string ini_value(const std::string& path, const std::string& key) {
    wchar_t value[4096];
    const DWORD length = GetPrivateProfileStringW(L"Main", utf8_to_wide(key).c_str(), L"", value,
                                                  4096, utf8_to_wide(path).c_str());
    return wide_to_utf8(std::wstring(value, length));
}
