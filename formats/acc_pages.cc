#include "formats/acc_pages.h"

#include <algorithm>

#include "common/byte_coding.h"

namespace vove::acc {

namespace {

template <std::size_t N>
void copy_into_payload(std::vector<std::uint8_t>& payload, const std::array<std::uint8_t, N>& image,
                       const PageDescription& page) {
  std::copy(image.begin(), image.end(), payload.begin() + static_cast<std::ptrdiff_t>(page.payload_offset));
}

template <std::size_t N>
void copy_from_payload(std::array<std::uint8_t, N>& image, const std::vector<std::uint8_t>& payload,
                       const PageDescription& page) {
  const auto begin = payload.begin() + static_cast<std::ptrdiff_t>(page.payload_offset);
  std::copy(begin, begin + static_cast<std::ptrdiff_t>(N), image.begin());
}

}  // namespace

PageSet default_page_set() noexcept {
  PageSet pages{};
  for (std::size_t offset : static_default_float_offsets) {
    coding::encode_f32(pages.static_image.data() + offset, static_default_float_value);
  }
  return pages;
}

std::vector<std::uint8_t> to_payload(const PageSet& pages) {
  std::vector<std::uint8_t> payload(payload_size, 0);
  copy_into_payload(payload, pages.graphics, graphics_page);
  copy_into_payload(payload, pages.physics, physics_page);
  copy_into_payload(payload, pages.static_image, static_page);
  return payload;
}

PageSet from_payload(const std::vector<std::uint8_t>& payload) noexcept {
  PageSet pages = default_page_set();
  if (payload.size() < payload_size) return pages;
  copy_from_payload(pages.graphics, payload, graphics_page);
  copy_from_payload(pages.physics, payload, physics_page);
  copy_from_payload(pages.static_image, payload, static_page);
  return pages;
}

}  // namespace vove::acc
