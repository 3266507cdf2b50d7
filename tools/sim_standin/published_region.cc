#include "tools/sim_standin/published_region.h"

#include <chrono>
#include <stdexcept>

namespace vove {

namespace {

constexpr int attempts = 150;
constexpr std::chrono::milliseconds pause_between_attempts{20};

}  // namespace

PublishedRegion::PublishedRegion(std::string_view name, std::uint32_t size) : name_(name) {
  bool foreign_region_seen = false;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) platform::sleep_for(pause_between_attempts);
    memory_ = platform::SharedMemory::create_or_open(name, size);
    if (!memory_) continue;
    view_ = memory_.map(platform::Access::write, 0);
    // The region opened is ours when it has the size asked for; one of
    // another size belongs to someone else, who may remove it under us.
    // The region's own size, as a Windows view covers whole pages (and Wine
    // keeps only whole pages of the region itself).
    const std::uint64_t held = memory_.size().value_or(view_.size());
    if (view_ && held >= size && (held + 4095) / 4096 == (std::uint64_t{size} + 4095) / 4096) {
      size_ = size;
      return;
    }
    foreign_region_seen = foreign_region_seen || view_.is_mapped();
    view_.unmap();
    memory_.close();
  }
  throw std::runtime_error(foreign_region_seen ? "another program keeps publishing '" + name_ + "'"
                                               : "cannot create the shared memory '" + name_ + "'");
}

}  // namespace vove
