// rFactor 1 and Automobilista 1: one struct under "$rFactorShared$" (pack 1),
// written by a plugin with no synchronisation and zeroed at session start,
// session end and shutdown. All this system knows of it is its name and the
// struct's size in the plugin's layout 3.0.0.0; no field offset is known
// (the struct carries its version as text, at an offset we do not have), so
// nothing here reads a field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_id.h"

namespace vove::rf1 {

inline constexpr SourceId rf1_source_id = make_source_id("rf1z");
// A dedicated server appends its process id to the name: not recorded.
inline constexpr std::string_view mapping_name = "$rFactorShared$";

// The struct's size in layout 3.0.0.0: what readers map.
inline constexpr std::uint32_t layout_size = 11'367;
inline constexpr std::string_view layout_name = "3.0.0.0";

// The layout a named-object frame's mapping was made for, told by its size
// alone: "3.0.0.0" when the recorded mapping was created at exactly 11,367
// bytes; none for any other size (a larger mapping, or one whose size the
// system rounded to whole pages, may hold another layout) and none when the
// frame holds no such mapping.
std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload);

}  // namespace vove::rf1
