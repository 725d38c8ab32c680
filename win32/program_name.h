// The program's name: its executable's file name without the extension
// ("tarvikw"). It captions the message boxes and names the settings file.
#pragma once

#include <string>

std::wstring program_name();
