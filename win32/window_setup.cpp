#include "win32/window_setup.h"

// After windows.h, which it needs.
#include <commctrl.h>

void register_window_class(const wchar_t* name, UINT style, WNDPROC procedure, DWORD controls) {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), controls};
    InitCommonControlsEx(&classes);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
}

HWND make_child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
    return control;
}
