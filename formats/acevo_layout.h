// Assetto Corsa EVO's shared memory (from 0.6 on): three pages under names
// of their own. The physics page has ACC's layout (formats/acc_fields.h);
// the graphics and static pages have new layouts whose fields this build
// does not know, so they are recorded and replayed as bytes. Builds before
// 0.6 used the "acpmf" names, and are seen as ACC.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/source_id.h"
#include "formats/acc_pages.h"

namespace vove::acevo {

inline constexpr SourceId acevo_source_id = make_source_id("acez");

inline constexpr std::string_view physics_name = "Local\\acevo_pmf_physics";
inline constexpr std::string_view graphics_name = "Local\\acevo_pmf_graphics";
inline constexpr std::string_view static_name = "Local\\acevo_pmf_static";

// The physics page as ACC's: 800 bytes, packetId at 0 advancing with every
// physics step.
inline constexpr std::uint32_t physics_size = static_cast<std::uint32_t>(acc::physics_page.image_size);
// What the game allocates for the other two, as reported for 0.9.1 (one
// computation of the graphics struct gives 3,944 bytes instead): a replay
// never creates them smaller.
inline constexpr std::uint32_t graphics_size = 4'900;
inline constexpr std::uint32_t static_size = 208;

}  // namespace vove::acevo
