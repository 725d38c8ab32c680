// The settings file: an INI file read and written through QSettings. Each
// write reaches the file at once, as a private-profile write does; values
// not written keep what they held, and a missing value reads as empty.
#pragma once

#include <QSettings>
#include <QString>
#include <string>

#include "monitor/settings_store.h"

// A value read is cut to this many characters, as the profile functions'
// read buffer cuts it.
constexpr int kSettingsValueLimit = 4095;

class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(const QString& path);

    std::string read(const std::string& section, const std::string& key) override;
    void write(const std::string& section, const std::string& key,
               const std::string& value) override;

    // "<executable name>.INI" in the user's configuration folder (on Linux
    // $XDG_CONFIG_HOME, else ~/.config); with a `variant`,
    // "<executable name>-<variant>.INI" beside it. Needs the application
    // object.
    static QString default_path(const QString& variant = QString());

private:
    QSettings settings_;
};
