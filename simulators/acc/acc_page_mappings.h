// The three ACC shared-memory pages as their user holds them.
#pragma once

#include "common/platform/mapped_page.h"

namespace vove::acc {

// The three pages in their order: graphics, physics, static.
struct PageMappings {
  platform::MappedPage graphics;
  platform::MappedPage physics;
  platform::MappedPage static_page;

  bool all_mapped() const noexcept { return graphics.is_mapped() && physics.is_mapped() && static_page.is_mapped(); }
  // Releases each page in order.
  void release() noexcept {
    graphics.release();
    physics.release();
    static_page.release();
  }
};

}  // namespace vove::acc
