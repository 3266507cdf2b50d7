// A hostile iRacing region from the fuzzer: its size, the bytes behind the
// header, and a sequence of headers. The first is there when the recorder
// attaches; each later one is published while the recorder waits on the
// data-valid event, so one lands between the two polls of connect and
// others between the polls of each read. The client and the connector may
// refuse anything, but must read nothing outside the view (which has
// inaccessible pages on both sides in this build), take no memory the
// region cannot justify, and only ever produce payloads that parse.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/platform/fuzz_seams.h"
#include "common/platform/platform.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"
#include "simulators/iracing/iracing_client.h"
#include "simulators/iracing/iracing_connector.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

constexpr std::size_t page = 4096;

// The simulator's objects. Made again only when an input asks for another
// size: creating them costs more than everything else an input does.
struct Simulator {
  std::size_t size = 0;
  platform::SharedMemory region;
  platform::MappedView view;
  platform::NamedEvent event;

  // A zero-filled region of `wanted` bytes, and the event.
  void prepare(std::size_t wanted) {
    if (!event) event = platform::NamedEvent::create(iracing::data_valid_event_name);
    if (wanted != size || !view) {
      view.unmap();
      region.close();
      region = platform::SharedMemory::create_or_open(iracing::memory_map_name, static_cast<std::uint32_t>(wanted));
      view = region.map(platform::Access::write, 0);
      size = wanted;
    }
    fuzz::check(event && view.size() == wanted, "the fuzzer can make the simulator's objects");
    std::memset(view.data(), 0, view.size());
  }
};

// What the simulator publishes next, one header per wait.
struct Publisher {
  platform::MappedView& view;
  std::vector<std::vector<std::uint8_t>> headers;
  std::size_t next = 0;

  void publish_next() {
    if (next >= headers.size()) return;
    const auto& header = headers[next++];
    if (!header.empty()) std::memcpy(view.data(), header.data(), std::min(header.size(), view.size()));
  }
};

Publisher* publisher = nullptr;

void publish_while_waiting() {
  if (publisher != nullptr) publisher->publish_next();
}

void read_frames(iracing::Connector& connector) {
  for (int frame = 0; frame < 3; ++frame) {
    const FramePayload payload = connector.read_frame(std::chrono::milliseconds{0});
    if (payload.empty()) continue;
    const iracing::Snapshot snapshot = iracing::parse_snapshot(payload);  // throws if malformed
    const std::size_t region = connector.client().view_size();
    fuzz::check(snapshot.row.size() <= region, "a row never exceeds the region");
    fuzz::check(snapshot.variable_headers.size() * iracing::variable_header_size <= region,
                "no more variable headers than the region holds");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::use_private_names();
  platform::fuzz_seams::set_before_event_wait(publish_while_waiting);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // Whole pages mostly, so the guard page lies right behind the last byte;
  // sometimes an odd size, down to too small for the header.
  const std::size_t region_size = input.ConsumeBool() ? input.ConsumeIntegralInRange<std::size_t>(1, 3) * page
                                                      : input.ConsumeIntegralInRange<std::size_t>(1, 2 * page);
  static Simulator objects;
  objects.prepare(region_size);
  Publisher simulator{objects.view, {}, 0};
  const auto header_count = input.ConsumeIntegralInRange<std::size_t>(1, 5);
  for (std::size_t i = 0; i < header_count; ++i)
    simulator.headers.push_back(input.ConsumeBytes<std::uint8_t>(iracing::memory_header_size));
  const std::vector<std::uint8_t> body = input.ConsumeRemainingBytes<std::uint8_t>();
  if (region_size > iracing::memory_header_size && !body.empty()) {
    std::memcpy(simulator.view.data() + iracing::memory_header_size, body.data(),
                std::min(body.size(), region_size - iracing::memory_header_size));
  }
  simulator.publish_next();
  publisher = &simulator;

  iracing::Connector connector;
  try {
    if (connector.connect(std::chrono::milliseconds{0})) read_frames(connector);
  } catch (const std::length_error&) {  // a negative variable count is reported this way
  }
  // The accessors on their own, at the indices a header makes interesting.
  iracing::Client client;
  if (client.open()) {
    client.session_info_text();
    if (const auto header = client.current_header()) {
      const std::int32_t count = header->variable_count;
      for (const std::int32_t index : {-1, 0, count > INT32_MIN ? count - 1 : count, count})
        client.variable_header_at(index);
    }
  }
  connector.disconnect();
  publisher = nullptr;
  return 0;
}
