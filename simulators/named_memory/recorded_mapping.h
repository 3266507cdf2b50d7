// A named mapping the recorder copies from: opened read-only, only when its
// creator published it, and mapped whole at the size its creator made it,
// whatever size this build knows for its layout.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/platform/mapped_page.h"

namespace vove {

class RecordedMapping {
 public:
  // Opens and maps `name`; false, holding nothing, when it does not exist,
  // cannot be mapped, or is smaller than `smallest` (too small for its
  // layout's header) or larger than a named object may be. failure() says
  // why when the system refused.
  bool attach(std::string_view name, std::uint32_t smallest) noexcept;
  void release() noexcept { page_.release(); }

  bool is_attached() const noexcept { return page_.is_mapped(); }
  const std::string& name() const noexcept { return name_; }
  // The size as created: what is recorded as the object's size.
  std::uint32_t size() const noexcept { return size_; }
  // The mapped bytes, as the simulator may be changing them.
  std::span<const std::uint8_t> bytes() const noexcept;
  const platform::Failure& failure() const noexcept { return page_.failure(); }

 private:
  std::string name_;
  platform::MappedPage page_;
  std::uint32_t size_ = 0;
};

// Reads a little-endian u32 of a mapping another process writes, as the
// value it holds at this moment (never torn on the machines the
// simulators run on: 4-byte aligned in every layout).
std::uint32_t read_shared_u32(std::span<const std::uint8_t> bytes, std::size_t offset) noexcept;

// Copies the mapping's first `destination.size()` bytes, ordered after the
// reads before it and before the reads after it, so that a check of a
// version block or a sequence number on both sides brackets the copy.
void copy_shared(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) noexcept;

// Calls `try_read` until it gives a frame or `timeout` has passed, a
// millisecond apart: the simulators without an event are polled.
template <typename TryRead>
auto poll_until(std::chrono::milliseconds timeout, TryRead try_read) -> decltype(try_read()) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto frame = try_read();
    if (!frame.empty() || std::chrono::steady_clock::now() >= deadline) return frame;
    platform::sleep_for(std::chrono::milliseconds{1});
  }
}

}  // namespace vove
