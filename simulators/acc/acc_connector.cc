#include "simulators/acc/acc_connector.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/byte_coding.h"
#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"
#include "formats/acpmf_title.h"

namespace vove::acc {

namespace {

// Read-only and only what the simulator published: the recorder never
// creates a simulator's name, so a replay starting at any moment finds
// either nothing or the real pages. A page larger than its image is fine;
// a shorter one (an older layout) is mapped as far as it goes.
bool attach(platform::MappedPage& page, const PageDescription& description) noexcept {
  return page.open_existing(description.mapping_name, platform::Access::read) &&
         page.map_at_most(platform::Access::read, description.image_size);
}

// The page's image; bytes past the end of a shorter page read as zero, as
// they do on Windows, where the page's last memory page is zero beyond it.
template <std::size_t N>
void copy_image(std::array<std::uint8_t, N>& image, const platform::MappedPage& page) noexcept {
  const std::size_t length = std::min(N, page.size());
  std::memcpy(image.data(), page.data(), length);
  std::fill(image.begin() + static_cast<std::ptrdiff_t>(length), image.end(), std::uint8_t{0});
}

// Each page's int32 packetId, at its start, advances with every update the
// simulator publishes on that page.
std::uint64_t packet_mark(const PhysicsImage& physics, const GraphicsImage& graphics) noexcept {
  return std::uint64_t{coding::decode_u32(physics.data())} << 32 | coding::decode_u32(graphics.data());
}

}  // namespace

bool Connector::told_acc(std::span<const std::uint8_t> graphics) {
  // Assetto Corsa 1 publishes under the same names; its own source records it.
  const acpmf::Verdict verdict = acpmf::tell_title({sizes_[0], sizes_[1], sizes_[2], graphics});
  if (verdict.title == acpmf::Title::conflicting) {
    attach_failure_ = {"the pages show signs of both ACC and Assetto Corsa 1, so neither is recorded: " + verdict.signs,
                       "shared memory " + std::string(graphics_page.mapping_name),
                       {}};
  }
  return verdict.title == acpmf::Title::acc;
}

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  // All three are tried whatever the earlier results.
  const bool graphics = attach(pages_.graphics, graphics_page);
  const bool physics = attach(pages_.physics, physics_page);
  const bool static_held = attach(pages_.static_page, static_page);

  attach_failure_ = {};
  for (const platform::MappedPage* page : {&pages_.graphics, &pages_.physics, &pages_.static_page}) {
    if (!page->failure().empty()) {
      attach_failure_ = page->failure();
      break;
    }
  }
  if (graphics && physics && static_held) {
    // Asked of the system once: a section keeps its size while held.
    sizes_ = {pages_.graphics.region_size(), pages_.physics.region_size(), pages_.static_page.region_size()};
    // Test a private copy so the test sees one consistent image.
    GraphicsImage image;
    copy_image(image, pages_.graphics);
    PhysicsImage physics_image;
    copy_image(physics_image, pages_.physics);
    const bool still_idle = idle_mark_ && *idle_mark_ == packet_mark(physics_image, image);
    if (is_simulator_ready(image) && !still_idle && told_acc(image)) {
      handed_over_ = false;
      idle_mark_.reset();
      last_mark_.reset();
      return true;
    }
  }
  pages_.release();
  return false;
}

void Connector::disconnect() { pages_.release(); }

void Connector::disconnect_idle() {
  idle_mark_ = last_mark_;
  pages_.release();
}

FramePayload Connector::read_frame(std::chrono::milliseconds /*timeout*/) {
  if (!pages_.all_mapped()) return {};
  PageSet pages;
  copy_image(pages.graphics, pages_.graphics);
  copy_image(pages.physics, pages_.physics);
  copy_image(pages.static_image, pages_.static_page);
  // Pages that showed no sign of either title at first (a session only
  // starting) may show Assetto Corsa 1's later: its own source takes over.
  if (!told_acc(pages.graphics)) {
    handed_over_ = true;
    return {};
  }
  last_mark_ = packet_mark(pages.physics, pages.graphics);
  return to_payload(pages);
}

SourceId Connector::source_id() const { return acc_source_id; }

}  // namespace vove::acc
