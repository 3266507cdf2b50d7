#include "dumper/acc_connector.h"

#include <cstring>

#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"

namespace ACC {

namespace {

// Read-only, at exactly the image size: a page the simulator made larger is
// fine, one shorter than the image cannot be mapped and is not attached.
MapResult map_for_reading(PageMapping& page, const PageDescription& description) noexcept {
  const auto size = static_cast<std::uint32_t>(description.image_size);
  return map_page(page, description.mapping_name, size, platform::Access::read, description.image_size);
}

}  // namespace

bool Connector::connect(std::int32_t /*timeout_ms*/) {
  // All three are tried whatever the earlier results.
  const MapResult graphics = map_for_reading(pages_.graphics, graphics_page);
  const MapResult physics = map_for_reading(pages_.physics, physics_page);
  const MapResult static_result = map_for_reading(pages_.static_page, static_page);

  attach_failure_ = {};
  for (const PageMapping* page : {&pages_.graphics, &pages_.physics, &pages_.static_page}) {
    if (!page->failure().empty()) {
      attach_failure_ = page->failure();
      break;
    }
  }
  if (graphics == MapResult::held && physics == MapResult::held && static_result == MapResult::held) {
    // Test a private copy so the test sees one consistent image.
    GraphicsImage image;
    std::memcpy(image.data(), pages_.graphics.data(), image.size());
    if (is_simulator_ready(image)) return true;
  }
  pages_.release();
  return false;
}

void Connector::disconnect() { pages_.release(); }

FramePayload Connector::read_frame(std::int32_t /*timeout_ms*/) {
  if (!pages_.all_mapped()) return {};
  // Every image is copied whole, so no default needs filling in first.
  PageSet pages;
  std::memcpy(pages.graphics.data(), pages_.graphics.data(), pages.graphics.size());
  std::memcpy(pages.physics.data(), pages_.physics.data(), pages.physics.size());
  std::memcpy(pages.static_image.data(), pages_.static_page.data(), pages.static_image.size());
  return to_payload(pages);
}

SourceId Connector::source_id() const { return acc_source_id; }

}  // namespace ACC
