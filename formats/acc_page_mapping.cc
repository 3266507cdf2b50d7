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

bool PageMapping::map(platform::Access access, std::size_t length) noexcept {
  view_.unmap();
  if (!memory_.is_open()) return false;
  view_ = memory_.map(access, length);
  return view_.is_mapped();
}

void PageMapping::release() noexcept {
  view_.unmap();
  memory_.close();
}

MapResult map_page(PageMapping& page, std::string_view name, std::uint32_t size, platform::Access access,
                   std::size_t length) noexcept {
  if (!page.create_or_open(name, size)) return MapResult::not_created;
  if (!page.map(access, length)) return MapResult::not_mapped;
  return MapResult::held;
}

}  // namespace ACC
