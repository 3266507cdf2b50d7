#include "simulators/named_memory/recorded_mapping.h"

#include <atomic>
#include <cstring>

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove {

bool RecordedMapping::attach(std::string_view name, std::uint32_t smallest) noexcept {
  release();
  size_ = 0;
  try {
    name_.assign(name);
  } catch (...) {
    return false;
  }
  if (!page_.open_existing(name, platform::Access::read)) return false;
  // The size the creator made it; where the system will not say, what a
  // whole view covers.
  std::uint64_t size = 0;
  if (const auto region = page_.region_size()) {
    size = *region;
  } else if (page_.map(platform::Access::read, 0)) {
    size = page_.size();
  }
  if (size < smallest || size == 0 || size > max_named_object_size ||
      !page_.map(platform::Access::read, static_cast<std::size_t>(size))) {
    release();
    return false;
  }
  size_ = static_cast<std::uint32_t>(size);
  return true;
}

std::span<const std::uint8_t> RecordedMapping::bytes() const noexcept {
  if (!page_.is_mapped()) return {};
  return {reinterpret_cast<const std::uint8_t*>(page_.data()), size_};
}

std::uint32_t read_shared_u32(std::span<const std::uint8_t> bytes, std::size_t offset) noexcept {
  std::atomic_thread_fence(std::memory_order_acquire);
  return coding::decode_u32(bytes.data() + offset);
}

void copy_shared(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) noexcept {
  std::atomic_thread_fence(std::memory_order_acquire);
  std::memcpy(destination.data(), source.data(), destination.size());
  std::atomic_thread_fence(std::memory_order_acquire);
}

}  // namespace vove
