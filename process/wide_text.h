// Windows names files, windows and controls in UTF-16, while every text of
// the console crosses its layers as UTF-8. These two are the one place where
// the two meet; each returns the empty text for text that is not valid in
// its encoding. Windows only.
#pragma once

#ifdef _WIN32

#include <string>

std::wstring utf8_to_wide(const std::string& text);
std::string wide_to_utf8(const std::wstring& text);

#endif
