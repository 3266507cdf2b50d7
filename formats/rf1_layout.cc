#include "formats/rf1_layout.h"

#include "formats/named_objects_payload.h"

namespace vove::rf1 {

std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload) {
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  const NamedObjectView* mapping = find_named_object(objects, mapping_name);
  if (mapping == nullptr || mapping->size != layout_size) return std::nullopt;
  return std::string(layout_name);
}

}  // namespace vove::rf1
