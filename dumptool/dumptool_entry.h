// dumptool: works on recordings. `dumptool <command> [options]`.
#pragma once

namespace vove {

// Runs the command that argv[1] names; returns the process's exit code.
int run_dumptool(int argc, const char* const argv[]);

}  // namespace vove
