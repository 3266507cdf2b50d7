#include "simulators/acc/acc_emulator.h"

#include <cstring>
#include <stdexcept>

#include "common/byte_coding.h"
#include "common/explained_error.h"
#include "formats/acc_pages.h"

namespace vove::acc {

const platform::Failure& Emulator::first_failure() const noexcept {
  for (const platform::MappedPage* page : {&pages_.graphics, &pages_.physics, &pages_.static_page}) {
    if (!page->failure().empty()) return page->failure();
  }
  return pages_.graphics.failure();
}

void Emulator::start() {
  pages_.release();
  // Every page is tried before any result is looked at.
  const bool graphics_open = pages_.graphics.create_or_open(graphics_page.mapping_name, emulator_page_size);
  const bool physics_open = pages_.physics.create_or_open(physics_page.mapping_name, emulator_page_size);
  const bool static_open = pages_.static_page.create_or_open(static_page.mapping_name, emulator_page_size);
  if (!graphics_open || !physics_open || !static_open) {
    const auto error = platform_error("Failed to create file mapping", first_failure());
    pages_.release();
    throw error;
  }

  // A page that exists already and is shorter than 5000 bytes fails here.
  const bool graphics_mapped = pages_.graphics.map(platform::Access::write, emulator_page_size);
  const bool physics_mapped = pages_.physics.map(platform::Access::write, emulator_page_size);
  const bool static_mapped = pages_.static_page.map(platform::Access::write, emulator_page_size);
  if (!graphics_mapped || !physics_mapped || !static_mapped) {
    const auto error = platform_error("Failed to map view", first_failure());
    pages_.release();
    throw error;
  }
}

void Emulator::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!pages_.all_mapped()) return;
  const PageSet pages = from_payload(payload);
  std::memcpy(pages_.graphics.data(), pages.graphics.data(), pages.graphics.size());
  std::memcpy(pages_.physics.data(), pages.physics.data(), pages.physics.size());
  std::memcpy(pages_.static_page.data(), pages.static_image.data(), pages.static_image.size());
}

void Emulator::stop() {
  if (pages_.graphics.is_mapped()) coding::encode_i32(pages_.graphics.data() + sim_status_offset, 0);
  pages_.release();
}

SourceId Emulator::source_id() noexcept { return acc_source_id; }

}  // namespace vove::acc
