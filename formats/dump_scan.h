// Finds where the intact part of a dump ends: after its header and the last
// record whose sizes and compressed data are all present. A write that
// failed half-way, or a process that was killed, can leave a partial record
// behind it; cutting the file there keeps everything before readable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>

namespace vove {

// Reads `in` from its current position to its end. 0 when not even the
// header is complete (or lacks the magic); empty when reading failed before
// the end, so that no caller cuts a file it could not see whole. Only the
// record sizes are looked at (see DumpIndex), never the data.
std::optional<std::uint64_t> complete_dump_length(std::istream& in);

// The same for a file; empty also when it cannot be opened.
std::optional<std::uint64_t> complete_dump_length(const std::filesystem::path& file);

}  // namespace vove
