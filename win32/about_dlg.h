// The About box (dialog 100): the main icon, "Tarvik Version 7310QX-2" and
// OK, and under the text a second line with the program's version. Modal;
// OK, Esc and the close box end it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The second line, under the dialog's text: "Version 0.1.0".
constexpr int kAboutVersionId = 1100;

// Runs the box over `owner` (may be null), which is disabled meanwhile.
void run_about_box(HWND owner);
