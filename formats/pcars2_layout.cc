#include "formats/pcars2_layout.h"

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove::pcars2 {

std::optional<std::uint32_t> layout_size(std::uint32_t version) noexcept {
  switch (version) {
    case 9: return 20'576;
    case 13: return 20'692;
    case 14: return 20'700;
    default: return std::nullopt;
  }
}

std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload) {
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  const NamedObjectView* mapping = find_named_object(objects, mapping_name);
  if (mapping == nullptr || mapping->bytes.size() < version_offset + 4) return std::nullopt;
  return std::to_string(coding::decode_u32(mapping->bytes.data() + version_offset));
}

}  // namespace vove::pcars2
