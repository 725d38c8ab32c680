// Names for table-driven test cases, from their descriptions.
#pragma once

#include <string>

// The description with every character that is not a letter or digit as
// '_', which GoogleTest and CTest accept in a test's name.
std::string case_name(std::string description);
