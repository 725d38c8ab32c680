// Where the console keeps what it remembers between runs: text values under
// a section, like an INI file. A missing value reads as the empty text;
// values not written keep what they held.
#pragma once

#include <string>

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string read(const std::string& section, const std::string& key) = 0;
    // Both false when the file was not changed, with the reason in error().
    // Removing a value that is not there succeeds.
    virtual bool write(const std::string& section, const std::string& key,
                       const std::string& value) = 0;
    virtual bool remove(const std::string& section, const std::string& key) = 0;
    // Why the last write or removal failed, for the operator: the file and
    // the cause.
    virtual std::string error() const = 0;
    // What the operator must know about the file as it was found: a file
    // that could not be read and was set aside. Empty when it read well.
    virtual std::string notice() const { return std::string(); }
};
