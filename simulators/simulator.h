// The simulators this system records and replays, one entry each. Every
// program finds what it needs about a simulator here: the recorder its
// polling order and sources, the replay its producers, the tool its name and
// payload codec, the stand-in its mode. Adding a simulator is a folder of
// its own under simulators/ and one row in simulator_table.cc.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/source_id.h"
#include "formats/frame_payload.h"
#include "simulators/producer.h"
#include "simulators/source.h"

namespace vove {

// A named object the simulator publishes: its name as the simulator creates
// it (the platform layer maps it to its own namespace) and, for a mapping,
// the size readers copy from it.
struct NamedObject {
  enum class Kind { mapping, event };
  std::string_view name;
  Kind kind = Kind::mapping;
  std::uint32_t size = 0;  // of a mapping; 0 for an event
};

// Which of the payload codecs in formats/ encodes the simulator's frames.
enum class PayloadCodec {
  iracing_snapshot,  // formats/iracing_snapshot.h
  acc_pages,         // formats/acc_pages.h
  named_objects,     // formats/named_objects_payload.h
};

struct Simulator {
  SourceId source_id;
  std::string_view name;          // as users know it, e.g. in `dumptool info`
  std::string_view standin_mode;  // the stand-in's --sim value; empty for none
  std::span<const NamedObject> objects;
  PayloadCodec payload;
  // Null for a source the recorder does not poll for (one it is told of).
  std::shared_ptr<Source> (*make_source)();
  std::shared_ptr<Producer> (*make_producer)();
  // The layout version a frame names ("3.7.15.1"); null for a simulator
  // whose frames name none, and none for a frame that names none.
  std::optional<std::string> (*layout_version)(const FramePayload& payload) = nullptr;
};

// Every simulator, in the recorder's polling order: when two run at once,
// the first is recorded. The last entry, named shared memory of any
// program, is recorded only when asked for by name.
std::span<const Simulator> simulators() noexcept;

// The simulator that records frames under `id`; none for an id no entry has.
const Simulator* find_simulator(const SourceId& id) noexcept;
// The simulator the stand-in serves under `mode`; none for any other mode.
const Simulator* find_standin_mode(std::string_view mode) noexcept;
// The codec of the frames recorded under `id`; none for an id no entry has.
std::optional<PayloadCodec> payload_codec(const SourceId& id) noexcept;

}  // namespace vove
