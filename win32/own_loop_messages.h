// Messages the console's windows handle only from the thread's own message
// loop, never inside an exchange's wait (the main window lends the wait its
// loop, which handles every other message). Each opens something that runs
// a modal loop of its own (a message box, the About box, a menu, a file
// dialog): run inside the wait, that loop would hold the wait until it
// closed.
#pragma once

#include <windows.h>

constexpr UINT kFirstOwnLoopMessage = WM_APP + 24;
// The main window's waiting message boxes.
constexpr UINT kShowBoxesMessage = WM_APP + 24;
constexpr UINT kShowAboutMessage = WM_APP + 25;
// lparam: where, MAKELPARAM(x, y) in screen coordinates.
constexpr UINT kShowTrayMenuMessage = WM_APP + 26;
// The trends window's Open log... and Save as PNG... dialogs, and the note
// on a log it has read.
constexpr UINT kTrendsOpenMessage = WM_APP + 27;
constexpr UINT kTrendsSaveMessage = WM_APP + 28;
constexpr UINT kTrendsNoteMessage = WM_APP + 29;
constexpr UINT kLastOwnLoopMessage = WM_APP + 31;
