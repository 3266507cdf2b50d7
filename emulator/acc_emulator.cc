#include "emulator/acc_emulator.h"

#include <cstring>
#include <stdexcept>

#include "common/byte_coding.h"
#include "formats/acc_pages.h"

namespace ACC {

void Emulator::start() {
  release_pages();
  // Every page is tried before any result is looked at.
  const bool graphics_open = graphics_.create_or_open(graphics_page.mapping_name, emulator_page_size);
  const bool physics_open = physics_.create_or_open(physics_page.mapping_name, emulator_page_size);
  const bool static_open = static_.create_or_open(static_page.mapping_name, emulator_page_size);
  if (!graphics_open || !physics_open || !static_open) {
    release_pages();
    throw std::runtime_error("Failed to create file mapping");
  }

  // A page that exists already and is shorter than 5000 bytes fails here.
  const bool graphics_mapped = graphics_.map(platform::Access::write, emulator_page_size);
  const bool physics_mapped = physics_.map(platform::Access::write, emulator_page_size);
  const bool static_mapped = static_.map(platform::Access::write, emulator_page_size);
  if (!graphics_mapped || !physics_mapped || !static_mapped) {
    release_pages();
    throw std::runtime_error("Failed to map view");
  }
}

void Emulator::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!graphics_.is_mapped() || !physics_.is_mapped() || !static_.is_mapped()) return;
  const PageSet pages = from_payload(payload);
  std::memcpy(graphics_.data(), pages.graphics.data(), pages.graphics.size());
  std::memcpy(physics_.data(), pages.physics.data(), pages.physics.size());
  std::memcpy(static_.data(), pages.static_image.data(), pages.static_image.size());
}

void Emulator::stop() {
  if (graphics_.is_mapped()) coding::encode_i32(graphics_.data() + sim_status_offset, 0);
  release_pages();
}

SourceId Emulator::source_id() noexcept { return acc_source_id; }

void Emulator::release_pages() noexcept {
  graphics_.release();
  physics_.release();
  static_.release();
}

}  // namespace ACC
