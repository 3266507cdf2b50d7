#include "formats/acpmf_title.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/byte_coding.h"
#include "formats/ac1_layout.h"
#include "formats/acc_pages.h"

namespace vove::acpmf {

namespace {

// The smallest page each of ACC's published layouts has.
constexpr std::uint64_t smallest_acc_graphics = 1320;
constexpr std::uint64_t smallest_acc_physics = 712;
constexpr std::uint64_t smallest_acc_static = 688;
constexpr std::array<std::uint64_t, 4> acc_graphics_sizes{1320, 1556, 1580, 1588};
constexpr std::uint64_t acc_physics_size = 800;

constexpr std::size_t active_cars_offset = 252;  // ACC: int32 activeCars
constexpr std::int32_t most_acc_cars = 60;       // carCoordinates[60]

std::optional<std::int32_t> int_at(std::span<const std::uint8_t> page, std::size_t offset) noexcept {
  if (page.size() < offset + 4) return std::nullopt;
  return coding::decode_i32(page.data() + offset);
}

std::optional<float> float_at(std::span<const std::uint8_t> page, std::size_t offset) noexcept {
  if (page.size() < offset + 4) return std::nullopt;
  return coding::decode_f32(page.data() + offset);
}

bool within(std::optional<std::int32_t> value, std::int32_t low, std::int32_t high) noexcept {
  return value && *value >= low && *value <= high;
}

// Whether any byte of the graphics page from AC1's end up to ACC's is set.
bool set_past_ac1_graphics(std::span<const std::uint8_t> graphics) noexcept {
  const std::size_t end = std::min<std::size_t>(graphics.size(), acc::graphics_page.image_size);
  for (std::size_t at = ac1::largest_graphics_size; at < end; ++at) {
    if (graphics[at] != 0) return true;
  }
  return false;
}

// A live graphics page whose bytes from 252 read as AC1's fields.
bool laid_out_as_ac1(std::span<const std::uint8_t> graphics) noexcept {
  if (graphics.size() < ac1::largest_graphics_size) return false;
  const auto status = int_at(graphics, ac1::status_offset);
  if (!status || *status == ac1::status_off) return false;
  bool any_set = false;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const float value = *float_at(graphics, ac1::car_coordinates_offset + 4 * axis);
    if (!std::isfinite(value)) return false;
    any_set = any_set || value != 0.0f;
  }
  // A world position whose first float has the bits of a small integer is
  // ACC's activeCars, not a coordinate.
  if (!any_set || within(int_at(graphics, active_cars_offset), 0, most_acc_cars)) return false;
  return within(int_at(graphics, ac1::flag_offset), 0, ac1::largest_flag) &&
         within(int_at(graphics, ac1::ideal_line_on_offset), 0, 1) &&
         within(int_at(graphics, ac1::is_in_pit_lane_offset), 0, 1) &&
         within(int_at(graphics, ac1::mandatory_pit_done_offset), 0, 1) && !set_past_ac1_graphics(graphics);
}

void add(std::string& signs, const std::string& sign) {
  if (!signs.empty()) signs += "; ";
  signs += sign;
}

std::string page_of(const char* page, std::uint64_t size) {
  return std::string(page) + " page of " + std::to_string(size) + " bytes";
}

}  // namespace

Verdict tell_title(const PagesSeen& pages) {
  std::string ac1_signs;
  if (pages.graphics_size && *pages.graphics_size < smallest_acc_graphics) {
    add(ac1_signs, page_of("graphics", *pages.graphics_size));
  }
  if (pages.physics_size && *pages.physics_size < smallest_acc_physics) {
    add(ac1_signs, page_of("physics", *pages.physics_size));
  }
  if (pages.static_size && *pages.static_size < smallest_acc_static) {
    add(ac1_signs, page_of("static", *pages.static_size));
  }
  if (laid_out_as_ac1(pages.graphics)) add(ac1_signs, "Assetto Corsa 1's graphics fields from offset 252");
  if (ac1_signs.empty()) return {Title::acc, {}};

  std::string acc_signs;
  if (pages.graphics_size && std::find(acc_graphics_sizes.begin(), acc_graphics_sizes.end(), *pages.graphics_size) !=
                                 acc_graphics_sizes.end()) {
    add(acc_signs, page_of("graphics", *pages.graphics_size));
  }
  if (pages.physics_size && *pages.physics_size == acc_physics_size) {
    add(acc_signs, page_of("physics", *pages.physics_size));
  }
  if (const auto cars = int_at(pages.graphics, active_cars_offset); within(cars, 1, most_acc_cars)) {
    add(acc_signs, "activeCars " + std::to_string(*cars) + " at graphics offset 252");
  }
  if (set_past_ac1_graphics(pages.graphics)) add(acc_signs, "graphics fields past offset 296");
  if (acc_signs.empty()) return {Title::ac1, ac1_signs};
  return {Title::conflicting, "Assetto Corsa 1's " + ac1_signs + "; ACC's " + acc_signs};
}

}  // namespace vove::acpmf
