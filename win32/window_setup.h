// What the console's own top-level windows (the trends window, the journal
// window) share in being made: their window class, a window procedure that
// hands each message to the object the window was made for, and child
// controls in the dialog font.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Loads the common controls `controls` (ICC_ flags) and registers the window
// class `name` with `style` (CS_ flags), `procedure`, the arrow cursor and
// the dialog's background. Registering it again fails harmlessly.
void register_window_class(const wchar_t* name, UINT style, WNDPROC procedure, DWORD controls);

// A child control of the window class `cls` in `parent`, in the dialog
// font; `id` is its control ID.
HWND make_child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id);

// The body of the window procedure of windows made for an `Owner`, passed to
// CreateWindowExW as its last argument: from WM_NCCREATE on, the owner's
// `window` member is the window and `on_message` is handed each of its
// messages. Messages before, and those of another window, get the defaults.
template <typename Owner>
LRESULT owner_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                          HWND Owner::*own_window,
                          LRESULT (Owner::*on_message)(UINT, WPARAM, LPARAM)) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Owner*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->*own_window = window;
    }
    auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->*own_window != window) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return (self->*on_message)(message, wparam, lparam);
}
