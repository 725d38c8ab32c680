#include "win32/tarvik_app.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "process/wide_text.h"
#include "win32/profile_settings_store.h"
#include "win32/program_name.h"
#include "win32/tarvik_dlg.h"
#include "win32/trends_window.h"

int start_application(const WindowOptions& options, DeviceReadings& readings) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    ProfileSettingsStore settings(
        ProfileSettingsStore::default_path(options.demo ? "demo" : std::string()));
    CTarvikDlg window(readings);
    window.monitor().set_default_port(options.default_port);
    if (!window.create(&settings)) {
        show_program_message("The console window could not be created");
        return 1;
    }
    window.set_journal(options.journal);
    window.monitor().fill_fields(options.address, options.community, options.interval,
                                 options.log_file);
    if (!options.title.empty()) {
        SetWindowTextW(window.window(), utf8_to_wide(options.title).c_str());
    }
    window.show();
    if (options.autostart) {
        for (ControlId id : {ControlId::kGetButton, ControlId::kStartButton}) {
            PostMessageW(window.window(), WM_COMMAND, MAKEWPARAM(static_cast<int>(id), BN_CLICKED),
                         reinterpret_cast<LPARAM>(window.control(id)));
        }
    }
    window.run();
    return 0;
}

void show_program_message(const std::string& text) {
    MessageBoxW(nullptr, utf8_to_wide(text).c_str(), program_name().c_str(),
                MB_OK | MB_ICONEXCLAMATION);
}

int start_plot(const std::string& path, const std::string& journal) {
    TrendsWindow window;
    if (!window.create(true)) {
        show_program_message("The trends window could not be created");
        return 1;
    }
    window.set_span(TrendsWindow::Span::kAll);
    window.set_journal(journal);
    LogLoad load;
    if (!window.open_log(utf8_to_wide(path), &load)) {
        show_program_message("Cannot open " + path + ": " + load.error);
        return 1;
    }
    window.show();
    if (load.totals.problems > 0) {
        show_program_message(
            std::to_string(load.totals.problems) +
            " lines of the log could not be read; the first: " + load.problems.front());
    }
    MSG message;
    while (!window.closed() && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
