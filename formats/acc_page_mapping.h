// ACC shared-memory pages as their user holds them: each page's region and
// view, and the three pages together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/platform/platform.h"

namespace ACC {

class PageMapping {
 public:
  PageMapping() noexcept = default;
  PageMapping(PageMapping&& other) noexcept = default;
  PageMapping& operator=(PageMapping&& other) noexcept;  // releases its old page first
  PageMapping(const PageMapping&) = delete;
  PageMapping& operator=(const PageMapping&) = delete;
  ~PageMapping() { release(); }

  // Creates the page zero-filled with `size` bytes, or opens it when it
  // exists already; releases any page held before. False on failure.
  bool create_or_open(std::string_view name, std::uint32_t size) noexcept;
  // Opens the page only when someone published it, never creating the
  // name; releases any page held before. False on failure.
  bool open_existing(std::string_view name, platform::Access access) noexcept;
  // Maps the first `length` bytes of the page held; false on failure, for
  // example when the page is shorter than `length`.
  bool map(platform::Access access, std::size_t length) noexcept;
  // Maps the first `length` bytes, or the whole page when it holds fewer
  // (a page of an older layout). False when not even that can be mapped.
  bool map_at_most(platform::Access access, std::size_t length) noexcept;

  // Bytes that may be touched from data(); 0 when no view is mapped.
  std::size_t size() const noexcept { return view_.size(); }

  bool is_mapped() const noexcept { return view_.is_mapped(); }
  // Why the last open or map failed; empty when it did not.
  const platform::Failure& failure() const noexcept {
    return memory_.is_open() ? view_.failure() : memory_.failure();
  }
  // The view's first byte; null when no view is mapped.
  std::byte* data() const noexcept { return view_.data(); }

  // Unmaps the view, then closes the region; nothing for what is not held.
  void release() noexcept;

 private:
  platform::SharedMemory memory_;
  platform::MappedView view_;
};

// The three pages in their order: graphics, physics, static.
struct PageMappings {
  PageMapping graphics;
  PageMapping physics;
  PageMapping static_page;

  bool all_mapped() const noexcept {
    return graphics.is_mapped() && physics.is_mapped() && static_page.is_mapped();
  }
  // Releases each page in order.
  void release() noexcept {
    graphics.release();
    physics.release();
    static_page.release();
  }
};

}  // namespace ACC
