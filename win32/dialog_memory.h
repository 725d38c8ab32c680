// The console's dialogs as Windows builds them: an extended dialog template
// (DLGTEMPLATEEX) made in memory from the control tables of
// res/dialog_templates.h, so the tables stay the one source of both the Qt
// and the Win32 window. Sizes stay in dialog units, the table order is the
// template order and so the tab order, and the font is 8-point
// "MS Shell Dlg".
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

#include "res/dialog_templates.h"

// The template's bytes, DWORD-aligned as the dialog functions need them; pass
// `data()` as the LPCDLGTEMPLATEW. `visible`: the dialog shows itself when
// created (a modal box); otherwise its owner shows it once initialised.
std::vector<DWORD> build_dialog_template(const dialog_template::Dialog& dialog, bool main_window,
                                         bool visible);

// Widens each left-aligned static text whose text is wider, in the dialog's
// font, than its template allowed for (a font other than the template's,
// such as Wine's): it grows to the right, where the templates leave room,
// rather than break its text onto a line that does not show. Call it once
// the dialog's controls exist (WM_INITDIALOG).
void fit_static_texts(HWND dialog);
