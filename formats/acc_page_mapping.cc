#include "formats/acc_page_mapping.h"

#include <utility>

namespace ACC {

PageMapping& PageMapping::operator=(PageMapping&& other) noexcept {
  if (this != &other) {
    release();
    view_ = std::move(other.view_);
    memory_ = std::move(other.memory_);
  }
  return *this;
}

bool PageMapping::create_or_open(std::string_view name, std::uint32_t size) noexcept {
  release();
  memory_ = platform::SharedMemory::create_or_open(name, size);
  return memory_.is_open();
}

bool PageMapping::open_existing(std::string_view name, platform::Access access) noexcept {
  release();
  memory_ = platform::SharedMemory::open_existing(name, access);
  return memory_.is_open();
}

bool PageMapping::map(platform::Access access, std::size_t length) noexcept {
  view_.unmap();
  if (!memory_.is_open()) return false;
  view_ = memory_.map(access, length);
  return view_.is_mapped();
}

bool PageMapping::map_at_most(platform::Access access, std::size_t length) noexcept {
  if (map(access, length)) return true;
  // A POSIX region shorter than `length` fails above and maps whole here.
  // Windows maps `length` bytes of a shorter page up to its last 4096-byte
  // page, the bytes past its size reading as zero, so both agree.
  return map(access, 0);
}

void PageMapping::release() noexcept {
  view_.unmap();
  memory_.close();
}

}  // namespace ACC
