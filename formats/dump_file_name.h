// The name of a dump file: `dumper` names each recording after the UTC
// second it began, "vove_dump_YYYY-MM-DD-HH-MM-SS.bin", with "_N" before the
// extension for a second recording within the same second. Both directions,
// making a name and reading the time back out of one, live here so they
// cannot drift apart.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vove {

// How many names one time stamp may take: "vove_dump_<stamp>.bin", then
// "vove_dump_<stamp>_1.bin" and on.
inline constexpr int max_dump_names_per_stamp = 100;

// "YYYY-MM-DD-HH-MM-SS" in UTC, zero-padded, 24-hour clock; the time is
// truncated to whole seconds.
std::string utc_time_stamp(std::chrono::system_clock::time_point time);

// "vove_dump_<time_stamp>.bin" for the first attempt (0), then
// "vove_dump_<time_stamp>_<attempt>.bin".
std::string dump_file_name(std::string_view time_stamp, int attempt);

// The time the recording named `file_name` (without directories) began, or
// nothing when the name does not have that form or names no real time.
std::optional<std::chrono::sys_seconds> recording_start_from_file_name(std::string_view file_name);

}  // namespace vove
