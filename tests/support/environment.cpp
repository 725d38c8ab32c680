#include "environment.h"

#include <cstdlib>
#include <ctime>

void set_environment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

void use_utc_time_zone() {
    set_environment("TZ", "UTC");
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

void use_local_time_zone_setting() {
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}
