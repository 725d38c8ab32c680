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
