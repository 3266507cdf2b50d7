#include "simulators/packet_pages/packet_pages_producer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/byte_coding.h"

namespace vove {

namespace {

std::vector<StandingObject> standing(const std::vector<ProducedPacketPage>& pages) {
  std::vector<StandingObject> objects;
  for (const ProducedPacketPage& page : pages) objects.push_back({page.name, page.smallest_size});
  return objects;
}

}  // namespace

PacketPagesProducer::PacketPagesProducer(std::vector<ProducedPacketPage> pages)
    : NamedObjectsProducer(standing(pages)), pages_(std::move(pages)) {}

const ProducedPacketPage* PacketPagesProducer::find_page(std::string_view name) const noexcept {
  for (const ProducedPacketPage& page : pages_) {
    if (page.name == name) return &page;
  }
  return nullptr;
}

void PacketPagesProducer::write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) {
  const ProducedPacketPage* page = find_page(recorded.name);
  const std::span<std::uint8_t> bytes = target.bytes();
  if (page == nullptr || !page->counted || recorded.bytes.size() < 4 || bytes.size() < 4) {
    copy_plain(target, recorded.bytes);
    return;
  }
  // The page after its packetId first, then the packetId once: a reader
  // watching it never sees the recorded one, which goes back at a new pass.
  std::memcpy(bytes.data() + 4, recorded.bytes.data() + 4, std::min(bytes.size(), recorded.bytes.size()) - 4);
  auto counter = counters_.find(recorded.name);
  if (counter == counters_.end()) counter = counters_.emplace(std::string(recorded.name), Counter{}).first;
  const std::uint32_t packet = coding::decode_u32(recorded.bytes.data());
  // A new pass goes on from one after the last packetId published; 32-bit
  // arithmetic wraps as the game's counter would.
  if (pass_begins && counter->second.last) counter->second.shift = *counter->second.last + 1u - packet;
  const std::uint32_t published = packet + counter->second.shift;
  std::atomic_thread_fence(std::memory_order_release);
  coding::encode_u32(bytes.data(), published);
  counter->second.last = published;
}

}  // namespace vove
