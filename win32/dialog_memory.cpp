#include "win32/dialog_memory.h"

#include <string>

#include "process/wide_text.h"

namespace {

// The predefined classes by their atoms, as resource templates name them.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

constexpr wchar_t kDialogFont[] = L"MS Shell Dlg";

// Appends 16-bit words and 32-bit values to a byte image that is later
// copied into DWORD storage.
class TemplateWriter {
public:
    void word(WORD value) {
        bytes_.push_back(static_cast<BYTE>(value & 0xFF));
        bytes_.push_back(static_cast<BYTE>(value >> 8));
    }
    void dword(DWORD value) {
        word(static_cast<WORD>(value & 0xFFFF));
        word(static_cast<WORD>(value >> 16));
    }
    void text(const char* utf8) {
        if (utf8 != nullptr) {
            for (wchar_t c : utf8_to_wide(utf8)) {
                word(static_cast<WORD>(c));
            }
        }
        word(0);
    }
    void atom(WORD value) {
        word(0xFFFF);
        word(value);
    }
    void align_dword() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
    }
    std::vector<DWORD> finish() {
        align_dword();
        std::vector<DWORD> out(bytes_.size() / 4);
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<DWORD>(bytes_[4 * i]) |
                     static_cast<DWORD>(bytes_[4 * i + 1]) << 8 |
                     static_cast<DWORD>(bytes_[4 * i + 2]) << 16 |
                     static_cast<DWORD>(bytes_[4 * i + 3]) << 24;
        }
        return out;
    }

private:
    std::vector<BYTE> bytes_;
};

WORD class_atom(dialog_template::ControlKind kind) {
    using Kind = dialog_template::ControlKind;
    switch (kind) {
        case Kind::kStaticText:
        case Kind::kStaticIcon:
            return kStaticClass;
        case Kind::kEdit:
        case Kind::kPane:
        case Kind::kEnterPane:
            return kEditClass;
        case Kind::kDropDownCombo:
            return kComboBoxClass;
        case Kind::kPushButton:
        case Kind::kDefaultPushButton:
        case Kind::kGroupBox:
        case Kind::kCheckBox:
            break;
    }
    return kButtonClass;
}

// The window and control styles of one table entry.
DWORD control_style(const dialog_template::Control& control) {
    using Kind = dialog_template::ControlKind;
    const DWORD child = WS_CHILD | WS_VISIBLE;
    // The multi-line edits have no scroll bars; they scroll with the caret.
    const DWORD pane = ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_BORDER | WS_TABSTOP;
    switch (control.kind) {
        case Kind::kPushButton:
            return child | BS_PUSHBUTTON | WS_TABSTOP;
        case Kind::kDefaultPushButton:
            return child | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP;
        case Kind::kStaticText:
            // Shown as they stand: no static text is a mnemonic's label.
            return child | SS_LEFT | SS_NOPREFIX | WS_GROUP;
        case Kind::kStaticIcon:
            return child | SS_ICON;
        case Kind::kGroupBox:
            return child | BS_GROUPBOX;
        case Kind::kCheckBox:
            return child | BS_AUTOCHECKBOX | WS_TABSTOP;
        case Kind::kEdit:
            return child | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
        case Kind::kPane:
            return child | pane;
        case Kind::kEnterPane:
            return child | pane | ES_WANTRETURN;
        case Kind::kDropDownCombo:
            return child | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
    }
    return child;
}

}  // namespace

std::vector<DWORD> build_dialog_template(const dialog_template::Dialog& dialog, bool main_window,
                                         bool visible) {
    // The main window: caption, system menu and minimise box, a taskbar
    // button, not resizable. The About box: caption and system menu.
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT |
                  DS_FIXEDSYS | DS_CENTER;
    if (main_window) {
        style |= WS_MINIMIZEBOX;
    }
    if (visible) {
        style |= WS_VISIBLE;
    }
    TemplateWriter out;
    out.word(1);       // dlgVer
    out.word(0xFFFF);  // signature: the extended template
    out.dword(0);      // helpID
    out.dword(main_window ? WS_EX_APPWINDOW : 0);
    out.dword(style);
    out.word(static_cast<WORD>(dialog.control_count));
    out.word(0);  // x, y: centred (DS_CENTER)
    out.word(0);
    out.word(static_cast<WORD>(dialog.width));
    out.word(static_cast<WORD>(dialog.height));
    out.word(0);  // no menu
    out.word(0);  // the dialog class
    out.text(dialog.title);
    out.word(static_cast<WORD>(dialog.font_point_size));
    out.word(FW_NORMAL);
    out.word(static_cast<WORD>(DEFAULT_CHARSET << 8));  // italic 0, charset
    for (wchar_t c : std::wstring(kDialogFont)) {
        out.word(static_cast<WORD>(c));
    }
    out.word(0);
    for (int i = 0; i < dialog.control_count; ++i) {
        const dialog_template::Control& control = dialog.controls[i];
        out.align_dword();
        out.dword(0);  // helpID
        out.dword(0);  // exStyle
        out.dword(control_style(control));
        out.word(static_cast<WORD>(control.x));
        out.word(static_cast<WORD>(control.y));
        out.word(static_cast<WORD>(control.width));
        out.word(static_cast<WORD>(control.height));
        out.dword(control.id == dialog_template::kNoId ? static_cast<DWORD>(-1)
                                                       : static_cast<DWORD>(control.id));
        out.atom(class_atom(control.kind));
        // The icon is set by the owner: the resource may be missing.
        out.text(control.kind == dialog_template::ControlKind::kStaticIcon ? nullptr
                                                                           : control.caption);
        out.word(0);  // no creation data
    }
    return out.finish();
}

void fit_static_texts(HWND dialog) {
    HDC dc = GetDC(dialog);
    if (dc == nullptr) {
        return;
    }
    const HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16];
        if (GetClassNameW(child, name, 16) == 0 || lstrcmpiW(name, L"Static") != 0 ||
            (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_LEFT) {
            continue;
        }
        wchar_t text[256];
        const int length = GetWindowTextW(child, text, 256);
        SIZE extent;
        RECT client;
        if (length == 0 || !GetTextExtentPoint32W(dc, text, length, &extent) ||
            !GetClientRect(child, &client) || extent.cx <= client.right) {
            continue;
        }
        RECT frame;
        GetWindowRect(child, &frame);
        SetWindowPos(child, nullptr, 0, 0, frame.right - frame.left + extent.cx - client.right,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SelectObject(dc, before);
    ReleaseDC(dialog, dc);
}
