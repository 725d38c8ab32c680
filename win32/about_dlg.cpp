#include "win32/about_dlg.h"

#include <vector>

#include "res/dialog_templates.h"
#include "win32/dialog_memory.h"
#include "win32/tray_icon.h"

namespace {

// Where the version line goes, in dialog units: under the dialog's text.
constexpr RECT kVersionRect = {40, 22, 40 + 119, 22 + 8};

void add_version_line(HWND box) {
    RECT rect = kVersionRect;
    MapDialogRect(box, &rect);
    HWND line = CreateWindowExW(0, L"STATIC", L"Version " TARVIK_WIDE_VERSION,
                                WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, box,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kAboutVersionId)),
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(line, WM_SETFONT, SendMessageW(box, WM_GETFONT, 0, 0), FALSE);
}

INT_PTR CALLBACK about_proc(HWND box, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            // Centred over the main window, like the main window on the screen.
            if (HWND owner = GetWindow(box, GW_OWNER)) {
                RECT over, own;
                GetWindowRect(owner, &over);
                GetWindowRect(box, &own);
                const int width = own.right - own.left;
                const int height = own.bottom - own.top;
                SetWindowPos(box, nullptr, (over.left + over.right - width) / 2,
                             (over.top + over.bottom - height) / 2, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            // The icon control is the template's first.
            SendMessageW(GetWindow(box, GW_CHILD), STM_SETICON,
                         reinterpret_cast<WPARAM>(load_icon(kMainIconId, 0)), 0);
            add_version_line(box);
            fit_static_texts(box);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(box, LOWORD(wparam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

void run_about_box(HWND owner) {
    const std::vector<DWORD> about =
        build_dialog_template(dialog_template::kAboutDialog, false, true);
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                            reinterpret_cast<LPCDLGTEMPLATEW>(about.data()), owner, about_proc, 0);
}
