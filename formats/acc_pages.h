// The three ACC shared-memory pages as this system handles them: their names
// and sizes, the snapshot of all three (PageSet) and the frame payload that
// carries a snapshot in a dump file.
//
// Here the pages are byte images, copied whole; their fields by name are in
// acc_fields.h, the readiness rule in acc_readiness.h. Whenever the
// three are handled together the order is graphics, physics, static.
//
// Frame payload, always 3700 bytes, each image at the start of its slot and
// the rest of the slot zero:
//   [0, 1700)     graphics image (1588 bytes) + 112 zero bytes
//   [1700, 2700)  physics image  (800 bytes)  + 200 zero bytes
//   [2700, 3700)  static image   (820 bytes)  + 180 zero bytes
// Recordings made when the static image was 756 bytes long hold zero in its
// last 64 bytes (all but the first unit of the wet tyre name), which is how
// they read back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/source_id.h"

namespace vove::acc {

inline constexpr SourceId acc_source_id = make_source_id("accz");

struct PageDescription {
  std::string_view mapping_name;
  std::size_t image_size;      // the page's current layout: bytes copied from and written back to it
  std::size_t payload_offset;  // where the image starts in the frame payload
};

inline constexpr PageDescription graphics_page{"Local\\acpmf_graphics", 1588, 0};
inline constexpr PageDescription physics_page{"Local\\acpmf_physics", 800, 1700};
inline constexpr PageDescription static_page{"Local\\acpmf_static", 820, 2700};

inline constexpr std::size_t payload_size = 3700;
static_assert(graphics_page.payload_offset + graphics_page.image_size <= physics_page.payload_offset);
static_assert(physics_page.payload_offset + physics_page.image_size <= static_page.payload_offset);
static_assert(static_page.payload_offset + static_page.image_size <= payload_size);

// The emulator creates every page this large, whatever its image size.
inline constexpr std::uint32_t emulator_page_size = 5000;
static_assert(graphics_page.image_size <= emulator_page_size);

// The graphics page's int32 simulator status; 0 means the simulator is off.
inline constexpr std::size_t sim_status_offset = 4;

// Static-page floats that hold -273.0 in the default page set.
inline constexpr std::array<std::size_t, 2> static_default_float_offsets{456, 460};
inline constexpr float static_default_float_value = -273.0f;

using GraphicsImage = std::array<std::uint8_t, graphics_page.image_size>;
using PhysicsImage = std::array<std::uint8_t, physics_page.image_size>;
using StaticImage = std::array<std::uint8_t, static_page.image_size>;

// One snapshot of the three pages. Value-initialised it is all zero; use
// default_page_set() for the default every snapshot starts from.
struct PageSet {
  GraphicsImage graphics{};
  PhysicsImage physics{};
  StaticImage static_image{};
};

// All zero except the two static floats, which hold -273.0.
PageSet default_page_set() noexcept;

// The 3700-byte frame payload of `pages`.
std::vector<std::uint8_t> to_payload(const PageSet& pages);

// The page set a payload carries. A payload shorter than 3700 bytes carries
// nothing and yields the default set; bytes past 3700 are ignored.
PageSet from_payload(const std::vector<std::uint8_t>& payload) noexcept;

}  // namespace vove::acc
