#include "formats/rf2_layout.h"

#include "formats/named_objects_payload.h"

namespace vove::rf2 {

const BufferDescription* find_buffer(std::string_view name) noexcept {
  for (const BufferDescription& buffer : buffers) {
    if (buffer.name == name) return &buffer;
  }
  return nullptr;
}

std::optional<std::string> plugin_version(std::span<const std::uint8_t> extended) {
  if (extended.size() < extended_version_offset + extended_version_size) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i < extended_version_size; ++i) {
    const std::uint8_t byte = extended[extended_version_offset + i];
    if (byte == 0) break;
    if (byte < 0x20 || byte > 0x7e) return std::nullopt;
    text.push_back(static_cast<char>(byte));
  }
  if (text.empty()) return std::nullopt;
  return text;
}

bool is_known_layout(std::string_view version) noexcept { return version.substr(0, 4) == "3.7."; }

std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload) {
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  const NamedObjectView* extended = find_named_object(objects, extended_name);
  return extended == nullptr ? std::nullopt : plugin_version(extended->bytes);
}

}  // namespace vove::rf2
