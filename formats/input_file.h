// Opens a file the programs read (a recording, a .ibt file): the one place
// that turns a file that cannot be opened into an error, in one shape.
#pragma once

#include <filesystem>
#include <fstream>

#include "formats/dump_file_errors.h"

namespace vove {

// Opens `path` for binary reading. Throws DumpInputError of kind io, with
// the file and the system's code (EISDIR for a directory, which some
// systems open and fail only at the first read), and the text
// "Failed to open the file <path>: <the system's words>".
std::ifstream open_input_file(const std::filesystem::path& path);

}  // namespace vove
