// A named shared-memory region as its user holds it: the region and one view
// of it, released together, view first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/platform/platform.h"

namespace vove::platform {

class MappedPage {
 public:
  MappedPage() noexcept = default;
  MappedPage(MappedPage&& other) noexcept = default;
  MappedPage& operator=(MappedPage&& other) noexcept;  // releases its old page first
  MappedPage(const MappedPage&) = delete;
  MappedPage& operator=(const MappedPage&) = delete;
  ~MappedPage() { release(); }

  // Creates the page zero-filled with `size` bytes, or opens it when it
  // exists already; releases any page held before. False on failure.
  bool create_or_open(std::string_view name, std::uint32_t size) noexcept;
  // Opens the page only when someone published it, never creating the
  // name; releases any page held before. False on failure.
  bool open_existing(std::string_view name, Access access) noexcept;
  // Maps the first `length` bytes of the page held; false on failure, for
  // example when the page is shorter than `length`.
  bool map(Access access, std::size_t length) noexcept;
  // Maps the first `length` bytes, or the whole page when it holds fewer
  // (a page of an older layout). False when not even that can be mapped.
  bool map_at_most(Access access, std::size_t length) noexcept;

  // The region's size as its creator made it; none when none is open or the
  // system will not say.
  std::optional<std::uint64_t> region_size() const noexcept { return memory_.size(); }

  // Bytes that may be touched from data(); 0 when no view is mapped.
  std::size_t size() const noexcept { return view_.size(); }

  bool is_mapped() const noexcept { return view_.is_mapped(); }
  // Why the last open or map failed; empty when it did not.
  const Failure& failure() const noexcept { return memory_.is_open() ? view_.failure() : memory_.failure(); }
  // The view's first byte; null when no view is mapped.
  std::byte* data() const noexcept { return view_.data(); }

  // Unmaps the view, then closes the region; nothing for what is not held.
  void release() noexcept;

 private:
  SharedMemory memory_;
  MappedView view_;
};

}  // namespace vove::platform
