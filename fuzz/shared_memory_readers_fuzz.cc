// Shared memory as a hostile or broken simulator might leave it, read by
// each recorder source that follows a protocol. The first byte picks the
// simulator (0x40 set: Le Mans Ultimate) and the mapping's size; the rest
// fills the mapping from its start. Whatever the bytes, a source never reads past the mapping, never
// waits beyond its timeout, and records each object at its created size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/platform/mapped_page.h"
#include "formats/ac1_layout.h"
#include "formats/acevo_layout.h"
#include "formats/lmu_layout.h"
#include "formats/named_objects_payload.h"
#include "formats/pcars2_layout.h"
#include "formats/r3e_layout.h"
#include "formats/rf1_layout.h"
#include "formats/rf2_layout.h"
#include "simulators/ac1/ac1_connector.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acevo/acevo_connector.h"
#include "simulators/lmu/lmu_connector.h"
#include "simulators/pcars2/pcars2_connector.h"
#include "simulators/r3e/r3e_connector.h"
#include "simulators/rf1/rf1_connector.h"
#include "simulators/rf2/rf2_connector.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

// A mapping made as a simulator would make it, `size` bytes filled from `bytes`.
platform::MappedPage publish(std::string_view name, std::uint32_t size, const std::uint8_t* bytes, std::size_t count) {
  platform::MappedPage page;
  fuzz::check(page.create_or_open(name, size) && page.map(platform::Access::write, size), "the mapping is made");
  std::memcpy(page.data(), bytes, std::min<std::size_t>(count, size));
  return page;
}

// The frame a source gives must name its objects at their created sizes.
void check_frame(const FramePayload& frame, std::string_view name, std::uint32_t size) {
  if (frame.empty()) return;
  const std::vector<NamedObjectView> objects = read_named_objects(frame);
  const NamedObjectView* object = find_named_object(objects, name);
  fuzz::check(object != nullptr && object->size == size, "each object is recorded at its created size");
}

template <typename Source>
void read_twice(Source& source, std::string_view name, std::uint32_t size) {
  if (!source.connect(std::chrono::milliseconds{0})) return;
  check_frame(source.read_frame(std::chrono::milliseconds{0}), name, size);
  check_frame(source.read_frame(std::chrono::milliseconds{0}), name, size);
  source.disconnect();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::use_private_names();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t pick = data[0];
  const std::uint8_t* bytes = data + 1;
  const std::size_t count = size - 1;
  // Sizes from below the smallest header to the full layout.
  const auto sized = [pick](std::uint32_t full) {
    return (pick & 0x80) != 0 ? full : 1u + (pick & 0x3f) * (full / 64u);
  };
  if ((pick & 0x40) != 0) {
    // Le Mans Ultimate; with an odd pick also its update event, signalled,
    // and its lock, whose two words the input's first bytes give, so that
    // a lock held for good or nonsense counts meet the taker.
    const platform::MappedPage data = publish(lmu::data_name, sized(lmu::data_size), bytes, count);
    platform::NamedEvent event;
    platform::MappedPage lock;
    platform::NamedEvent lock_event;
    if ((pick & 1) != 0) {
      event = platform::NamedEvent::create(lmu::data_event_name);
      lock = publish(lmu::lock_name, lmu::lock_size, bytes, count);
      lock_event = platform::NamedEvent::create(lmu::lock_event_name);
      event.signal();
    }
    lmu::Connector source;
    read_twice(source, lmu::data_name, sized(lmu::data_size));
    return 0;
  }
  // The low three bits pick the simulator.
  switch (pick % 8) {
    case 0: {
      // The required buffers; Extended filled from the input too, so its
      // version is the fuzzer's to choose.
      std::vector<platform::MappedPage> pages;
      for (const rf2::BufferDescription& buffer : rf2::buffers) {
        if (buffer.required) pages.push_back(publish(buffer.name, sized(buffer.size), bytes, count));
      }
      rf2::Connector source(1);
      read_twice(source, rf2::telemetry_name, sized(rf2::find_buffer(rf2::telemetry_name)->size));
      break;
    }
    case 1: {
      const platform::MappedPage page = publish(pcars2::mapping_name, sized(pcars2::largest_layout_size), bytes, count);
      pcars2::Connector source;
      read_twice(source, pcars2::mapping_name, sized(pcars2::largest_layout_size));
      break;
    }
    case 3: {
      // The pages ACC and Assetto Corsa 1 share, of sizes either may have;
      // at most one of the two takes them.
      const std::uint32_t graphics_size = sized(1588), physics_size = sized(800), static_size = sized(820);
      const platform::MappedPage graphics = publish(ac1::graphics_name, graphics_size, bytes, count);
      const platform::MappedPage physics = publish(ac1::physics_name, physics_size, bytes, count);
      const platform::MappedPage static_page = publish(ac1::static_name, static_size, bytes, count);
      acc::Connector acc_source;
      ac1::Connector ac1_source;
      const bool acc_took = acc_source.connect(std::chrono::milliseconds{0});
      const bool ac1_took = ac1_source.connect(std::chrono::milliseconds{0});
      fuzz::check(!(acc_took && ac1_took), "the pages are taken as one title at most");
      if (ac1_took) {
        const FramePayload frame = ac1_source.read_frame(std::chrono::milliseconds{0});
        check_frame(frame, ac1::graphics_name, graphics_size);
        if (!frame.empty()) ac1::layout_version(frame);
      }
      if (acc_took) acc_source.read_frame(std::chrono::milliseconds{0});
      break;
    }
    case 4: {
      const platform::MappedPage physics = publish(acevo::physics_name, sized(800), bytes, count);
      acevo::Connector source;
      read_twice(source, acevo::physics_name, sized(800));
      break;
    }
    case 2: {
      const platform::MappedPage page = publish(r3e::mapping_name, sized(r3e::largest_layout_size), bytes, count);
      r3e::Connector source;
      read_twice(source, r3e::mapping_name, sized(r3e::largest_layout_size));
      break;
    }
    case 5: {
      // No field is read: all zero or not, and any size, the mapping is
      // recorded whole.
      const platform::MappedPage page = publish(rf1::mapping_name, sized(rf1::layout_size), bytes, count);
      rf1::Connector source;
      read_twice(source, rf1::mapping_name, sized(rf1::layout_size));
      break;
    }
    default: break;
  }
  return 0;
}
