// The texts the programs have always printed, which users and their scripts
// match on. They are a compatibility contract: each is written here once,
// and the end-to-end tests pin the literal words, so that a change of any of
// them fails a test. Say more on a line of its own (an explanation, see
// common/explained_error.h) rather than change one of these.
#pragma once

#include <string_view>

namespace vove::console_text {

// Before what() of an error that ended dumper's or emulator's main phase.
inline constexpr std::string_view error_heading = "An error occurred: ";

// emulator: the input is no dump, or could not be opened at all.
inline constexpr std::string_view invalid_file_format = "Invalid file format.";
// A record of a dump that does not inflate, or that its file cannot hold.
inline constexpr std::string_view decompress_failed = "Failed to decompress data. File is corrupted?";
// A dump that could not be read on (an I/O error, or a file that shrank).
inline constexpr std::string_view read_failed = "Failed to read the input file.";
// emulator: a recording of a source this build cannot replay.
inline constexpr std::string_view unknown_source = "invalid map<K, T> key";

// The two lines that end every run of dumper and emulator.
inline constexpr std::string_view dumper_stopped = "Dumper thread stopped.";
inline constexpr std::string_view emulator_stopped = "Emulator thread stopped.";
inline constexpr std::string_view close_window = "You can now close this window.";

// dumper and emulator end with this code after --help, as they always have
// (after --version with 0).
inline constexpr int help_exit_code = 1;

}  // namespace vove::console_text
