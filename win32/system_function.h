// Functions of system DLLs that only the trends window's file dialogs and
// PNG writer use (comdlg32, ole32), loaded from the system folder the first
// time they are called. Linked as imports, the DLLs (and, under Wine, all
// they pull in: about 13 MB) would be loaded with every window.
#pragma once

#include <windows.h>

// `name` of `dll`, or null when either cannot be loaded. The DLL stays
// loaded for the rest of the run.
template <typename Function>
Function system_function(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return nullptr;
    }
    // Through a function type that converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
