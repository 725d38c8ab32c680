#include "win32/program_name.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

std::wstring program_name() {
    wchar_t module[MAX_PATH];
    std::wstring name(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
    name.erase(0, name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}
