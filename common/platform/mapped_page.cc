#include "common/platform/mapped_page.h"

#include <utility>

namespace vove::platform {

MappedPage& MappedPage::operator=(MappedPage&& other) noexcept {
  if (this != &other) {
    release();
    view_ = std::move(other.view_);
    memory_ = std::move(other.memory_);
  }
  return *this;
}

bool MappedPage::create_or_open(std::string_view name, std::uint32_t size) noexcept {
  release();
  memory_ = SharedMemory::create_or_open(name, size);
  return memory_.is_open();
}

bool MappedPage::open_existing(std::string_view name, Access access) noexcept {
  release();
  memory_ = SharedMemory::open_existing(name, access);
  return memory_.is_open();
}

bool MappedPage::map(Access access, std::size_t length) noexcept {
  view_.unmap();
  if (!memory_.is_open()) return false;
  view_ = memory_.map(access, length);
  return view_.is_mapped();
}

bool MappedPage::map_at_most(Access access, std::size_t length) noexcept {
  if (map(access, length)) return true;
  // A POSIX region shorter than `length` fails above and maps whole here.
  // Windows maps `length` bytes of a shorter page up to its last 4096-byte
  // page, the bytes past its size reading as zero, so both agree.
  return map(access, 0);
}

void MappedPage::release() noexcept {
  view_.unmap();
  memory_.close();
}

}  // namespace vove::platform
