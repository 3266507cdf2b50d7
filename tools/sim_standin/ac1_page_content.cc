#include "tools/sim_standin/ac1_page_content.h"

#include <cstring>

#include "common/byte_coding.h"
#include "formats/ac1_layout.h"
#include "formats/acc_fields.h"

namespace vove::ac1 {

namespace {

std::size_t acc_offset(std::string_view name) noexcept {
  const acc::Field* field = acc::find_field(acc::Page::graphics, name);
  return field == nullptr ? 0 : field->offset;
}

}  // namespace

void graphics_from_acc(std::span<const std::byte> acc_graphics, std::span<std::byte> graphics) noexcept {
  std::memset(graphics.data(), 0, graphics.size());
  std::memcpy(graphics.data(), acc_graphics.data(), car_coordinates_offset);
  // AC1 publishes the player's car alone: ACC's car at playerCarID.
  const std::size_t cars = acc_offset("carCoordinates"), ids = acc_offset("carID");
  const std::int32_t player = coding::decode_i32(acc_graphics.data() + acc_offset("playerCarID"));
  for (std::size_t car = 0; car < 60; ++car) {
    if (coding::decode_i32(acc_graphics.data() + ids + 4 * car) == player) {
      std::memcpy(graphics.data() + car_coordinates_offset, acc_graphics.data() + cars + 12 * car, 12);
      break;
    }
  }
  for (const auto& [name, offset] : moved_graphics_fields) {
    std::memcpy(graphics.data() + offset, acc_graphics.data() + acc_offset(name), 4);
  }
}

}  // namespace vove::ac1
