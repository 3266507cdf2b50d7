// What the name of a dump file says: `dumper` names each recording after
// the UTC second it began, "vove_dump_YYYY-MM-DD-HH-MM-SS.bin", with "_N"
// before the extension for a second recording within the same second.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

// The time the recording named `file_name` (without directories) began, or
// nothing when the name does not have that form or names no real time.
std::optional<std::chrono::sys_seconds> recording_start_from_file_name(std::string_view file_name);
