// The settings file on Windows: a private profile (INI) file read and
// written with GetPrivateProfileStringW and WritePrivateProfileStringW,
// which read it line by line: an unbalanced quote stays in its value.
// Each write reaches the file at once; values not written keep what they
// held, and a missing value reads as empty.
#pragma once

#include <string>

#include "monitor/settings_store.h"

class ProfileSettingsStore : public SettingsStore {
public:
    // `path`: the file's full name, UTF-8.
    explicit ProfileSettingsStore(std::string path) : path_(std::move(path)) {}

    std::string read(const std::string& section, const std::string& key) override;
    bool write(const std::string& section, const std::string& key,
               const std::string& value) override;
    bool remove(const std::string& section, const std::string& key) override;
    std::string error() const override { return error_; }

    const std::string& path() const { return path_; }

    // "<executable name>.INI" (with a `variant`, "<executable name>-<variant>.INI")
    // in "%APPDATA%\Tarvik\", which is made when missing. The system's
    // Windows directory, where a profile file without a folder goes, is not
    // writable for an ordinary user, so the history would be lost there.
    static std::string default_path(const std::string& variant = std::string());

private:
    // WritePrivateProfileStringW with `value` (null: remove); false with
    // error_ set when it failed.
    bool put(const std::string& section, const std::string& key, const wchar_t* value);

    std::string path_;
    std::string error_;
};
