// The settings file: an INI file read and written through QSettings. Each
// write reaches the file at once, as a private-profile write does; values
// not written keep what they held, and a missing value reads as empty.
//
// The file is a private-profile file, one value a line. QSettings lets a
// quoted value run over line ends, so one unbalanced quote would swallow
// every value after it, and the next write would leave only what was
// written. A file read so is never written: it is renamed to
// "<name>.bad" beside it, and the store starts from an empty file; when
// that name is taken, the file stays and the store writes nothing.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <string>

#include "monitor/settings_store.h"

// A value read is cut to this many characters, as the profile functions'
// read buffer cuts it.
constexpr int kSettingsValueLimit = 4095;

class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(const QString& path);

    std::string read(const std::string& section, const std::string& key) override;
    bool write(const std::string& section, const std::string& key,
               const std::string& value) override;
    bool remove(const std::string& section, const std::string& key) override;
    std::string error() const override { return error_; }
    std::string notice() const override { return notice_; }

    // "<executable name>.INI" in the user's configuration folder (on Linux
    // $XDG_CONFIG_HOME, else ~/.config); with a `variant`,
    // "<executable name>-<variant>.INI" beside it. Needs the application
    // object.
    static QString default_path(const QString& variant = QString());

private:
    // Writes the changes to the file; false with error_ set when it could not.
    bool sync();

    QString path_;
    bool writable_ = true;  // false for an unreadable file that could not be set aside
    std::string notice_;
    std::string error_;
    std::unique_ptr<QSettings> settings_;
};
