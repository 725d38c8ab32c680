#include "win32/profile_settings_store.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "process/wide_text.h"
#include "win32/program_name.h"

namespace {

// A value read is cut here, as the profile functions' read buffer cuts it.
constexpr DWORD kValueBuffer = 4096;

}  // namespace

std::string ProfileSettingsStore::read(const std::string& section, const std::string& key) {
    wchar_t value[kValueBuffer];
    const DWORD length =
        GetPrivateProfileStringW(utf8_to_wide(section).c_str(), utf8_to_wide(key).c_str(), L"",
                                 value, kValueBuffer, utf8_to_wide(path_).c_str());
    return wide_to_utf8(std::wstring(value, length));
}

bool ProfileSettingsStore::write(const std::string& section, const std::string& key,
                                 const std::string& value) {
    return put(section, key, utf8_to_wide(value).c_str());
}

bool ProfileSettingsStore::remove(const std::string& section, const std::string& key) {
    return put(section, key, nullptr);
}

bool ProfileSettingsStore::put(const std::string& section, const std::string& key,
                               const wchar_t* value) {
    if (WritePrivateProfileStringW(utf8_to_wide(section).c_str(), utf8_to_wide(key).c_str(), value,
                                   utf8_to_wide(path_).c_str()) != 0) {
        return true;
    }
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = length > 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' ||
                               reason.back() == L' ' || reason.back() == L'.')) {
        reason.pop_back();
    }
    error_ =
        path_ + ": " + (reason.empty() ? "error " + std::to_string(code) : wide_to_utf8(reason));
    return false;
}

std::string ProfileSettingsStore::default_path(const std::string& variant) {
    std::wstring folder;
    wchar_t appdata[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        folder.assign(appdata, length);
        folder += L"\\Tarvik";
        CreateDirectoryW(folder.c_str(), nullptr);  // already there: fine
        folder += L"\\";
    }
    std::wstring name = program_name();
    if (!variant.empty()) {
        name += L"-" + utf8_to_wide(variant);
    }
    return wide_to_utf8(folder + name + L".INI");
}
