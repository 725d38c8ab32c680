// The process environment as the tests set it, on POSIX and Windows alike.
#pragma once

// Sets the environment variable `name` to `value` for this process.
void set_environment(const char* name, const char* value);

// Local time is UTC from now on, so a fixed time_t has a fixed text.
void use_utc_time_zone();

// Takes up the TZ variable as it now stands.
void use_local_time_zone_setting();
