#include "formats/r3e_layout.h"

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove::r3e {

std::optional<std::uint32_t> layout_size(std::int32_t major, std::int32_t minor) noexcept {
  if (major == 3) {
    switch (minor) {
      case 1: return 42'436;
      case 2: return 43'984;
      case 3: return 43'988;
      case 4:
      case 5: return 43'996;
      default: return std::nullopt;
    }
  }
  if (major == 2 && minor >= 6 && minor <= 16) return 39'320;
  if (major == 1 && minor == 7) return 30'844;
  return std::nullopt;
}

std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload) {
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  const NamedObjectView* mapping = find_named_object(objects, mapping_name);
  if (mapping == nullptr || mapping->bytes.size() < version_minor_offset + 4) return std::nullopt;
  return std::to_string(coding::decode_i32(mapping->bytes.data() + version_major_offset)) + "." +
         std::to_string(coding::decode_i32(mapping->bytes.data() + version_minor_offset));
}

}  // namespace vove::r3e
