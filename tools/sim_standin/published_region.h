// A named shared-memory region that the stand-in publishes into: created by
// the stand-in itself, mapped writable, released when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/platform/platform.h"

namespace vove {

class PublishedRegion {
 public:
  // Creates `name` with `size` bytes and maps all of it. A consumer polling
  // for the simulator may hold a region of that name for a moment (of
  // another size); the stand-in then lets go and tries again for up to
  // about three seconds, so that it always publishes into a region of its
  // own. Throws std::runtime_error when that does not succeed.
  PublishedRegion(std::string_view name, std::uint32_t size);

  // Exactly the bytes asked for, also where the view covers whole pages.
  std::span<std::byte> bytes() const noexcept { return {view_.data(), size_}; }
  const std::string& name() const noexcept { return name_; }

 private:
  std::string name_;
  platform::SharedMemory memory_;
  platform::MappedView view_;
  std::size_t size_ = 0;
};

}  // namespace vove
