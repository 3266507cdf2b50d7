// The UTC time stamp that names a dump file.
#pragma once

#include <chrono>
#include <string>

// "YYYY-MM-DD-HH-MM-SS" in UTC, zero-padded, 24-hour clock; the time is
// truncated to whole seconds.
std::string utc_time_stamp(std::chrono::system_clock::time_point time);
