// Where the console keeps what it remembers between runs: text values under
// a section, like an INI file. A missing value reads as the empty text;
// values not written keep what they held.
#pragma once

#include <string>

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string read(const std::string& section, const std::string& key) = 0;
    virtual void write(const std::string& section, const std::string& key,
                       const std::string& value) = 0;
};
