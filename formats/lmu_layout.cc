#include "formats/lmu_layout.h"

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove::lmu {

std::optional<std::int32_t> game_version(std::span<const std::uint8_t> data) noexcept {
  if (data.size() < game_version_offset + 4) return std::nullopt;
  return coding::decode_i32(data.data() + game_version_offset);
}

std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload) {
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  const NamedObjectView* data = find_named_object(objects, data_name);
  if (data == nullptr) return std::nullopt;
  const std::optional<std::int32_t> version = game_version(data->bytes);
  if (!version || *version == 0) return std::nullopt;
  return "game version " + std::to_string(*version);
}

}  // namespace vove::lmu
