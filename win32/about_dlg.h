// The About box (dialog 100): the main icon, "Tarvik Version 7310QX-2" and
// OK. Modal; OK, Esc and the close box end it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Runs the box over `owner` (may be null), which is disabled meanwhile.
void run_about_box(HWND owner);
