#include "simulators/ac1/ac1_connector.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "common/byte_coding.h"
#include "formats/acpmf_title.h"

namespace vove::ac1 {

namespace {

// In PacketPagesSource's order.
enum : std::size_t { graphics_index, physics_index, static_index };

std::int32_t status_of(std::span<const std::uint8_t> graphics) noexcept {
  return graphics.size() < status_offset + 4 ? status_off : coding::decode_i32(graphics.data() + status_offset);
}

}  // namespace

Connector::Connector()
    : PacketPagesSource(ac1_source_id,
                        {{graphics_name, true, true}, {physics_name, true, true}, {static_name, true, false}}) {}

bool Connector::accepts(std::span<const RecordedMapping> pages, platform::Failure& refusal) const {
  // A private copy of the graphics page, so that the test sees one image.
  const std::span<const std::uint8_t> live = pages[graphics_index].bytes();
  std::vector<std::uint8_t> graphics(live.begin(), live.begin() + std::min(live.size(), acc::graphics_page.image_size));
  if (status_of(graphics) == status_off) return false;
  const acpmf::Verdict verdict = acpmf::tell_title(
      {pages[graphics_index].size(), pages[physics_index].size(), pages[static_index].size(), graphics});
  if (verdict.title != acpmf::Title::ac1) return false;
  // Pages too small for any of AC1's layouts are not recorded as AC1's.
  for (const auto& [index, page, smallest] : {std::tuple{graphics_index, "graphics", smallest_graphics_size},
                                              {physics_index, "physics", smallest_physics_size},
                                              {static_index, "static", smallest_static_size}}) {
    if (pages[index].size() < smallest) {
      refusal = {std::string("its ") + page + " page is " + std::to_string(pages[index].size()) +
                     " bytes, smaller than any Assetto Corsa 1 layout has (" + std::to_string(smallest) + ")",
                 "shared memory " + pages[index].name(),
                 {}};
      return false;
    }
  }
  // Conflicting signs are said by the ACC source, which reads the same pages.
  return true;
}

bool Connector::says_stopped(std::span<const std::span<const std::uint8_t>> copies) const {
  return !copies[graphics_index].empty() && status_of(copies[graphics_index]) == status_off;
}

}  // namespace vove::ac1
