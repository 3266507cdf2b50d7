#include "formats/ac1_layout.h"

#include <algorithm>

#include "formats/acc_fields.h"
#include "formats/named_objects_payload.h"

namespace vove::ac1 {

std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload) {
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  const NamedObjectView* page = find_named_object(objects, static_name);
  if (page == nullptr) return std::nullopt;
  const std::span<const std::uint8_t> text =
      page->bytes.subspan(0, std::min(page->bytes.size(), sm_version_offset + 2 * sm_version_units));
  std::string version = acc::utf16le_to_utf8(text);
  if (version.empty()) return std::nullopt;
  return version;
}

}  // namespace vove::ac1
