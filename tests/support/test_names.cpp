#include "test_names.h"

#include <cctype>

std::string case_name(std::string description) {
    for (char& c : description) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return description;
}
