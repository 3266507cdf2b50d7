// The replay's side of the simulators whose pages carry only packetId
// counters: each page created at its recorded size (never smaller than the
// largest layout readers map), written as recorded, its packetId carried on
// across loops so that it never goes back.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulators/named_memory/named_objects_producer.h"

namespace vove {

struct ProducedPacketPage {
  std::string_view name;
  std::uint32_t smallest_size = 0;
  bool counted = true;  // its packetId, at offset 0, must keep rising
};

class PacketPagesProducer : public NamedObjectsProducer {
 public:
  explicit PacketPagesProducer(std::vector<ProducedPacketPage> pages);

 protected:
  void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) override;

 private:
  struct Counter {
    std::optional<std::uint32_t> last;  // as published
    std::uint32_t shift = 0;            // added to the recorded packetId
  };
  const ProducedPacketPage* find_page(std::string_view name) const noexcept;

  std::vector<ProducedPacketPage> pages_;
  std::map<std::string, Counter, std::less<>> counters_;
};

}  // namespace vove
