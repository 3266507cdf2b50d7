// Named-object frame payloads from the fuzzer: the reader must accept
// exactly what the builder can write (rebuilt, an accepted payload comes
// out byte for byte), and every replay producer of such frames must take
// any payload, damaged or hostile, without harm.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/named_objects_payload.h"
#include "formats/payload_damage.h"
#include "formats/pcars2_layout.h"
#include "formats/r3e_layout.h"
#include "formats/rf2_layout.h"
#include "simulators/pcars2/pcars2_emulator.h"
#include "simulators/r3e/r3e_emulator.h"
#include "simulators/rf2/rf2_emulator.h"
#include "simulators/shm/shm_emulator.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

// Each producer as a replay drives it: started once (creating names costs system calls that tell nothing new
// input after input), then given every input as a frame, each time as the
// first of a pass and again as the next frame. Objects a frame names anew
// are created up to the producer's bound, which keeps the run bounded too.
template <typename Producer>
struct Replay {
  Producer producer;
  Replay() {
    producer.prepare({});
    producer.start();
  }
  void write(const std::vector<std::uint8_t>& payload) {
    try {
      producer.begin_pass();
      producer.write_frame(payload);
      producer.write_frame(payload);
    } catch (const std::runtime_error&) {
      // A name the system refused, or no room for an object: a clear error
      // in the replay.
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::use_private_names();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> payload(data, data + size);
  try {
    const std::vector<NamedObjectView> objects = read_named_objects(payload);
    NamedObjectsPayloadBuilder builder;
    for (const NamedObjectView& object : objects) {
      const std::span<std::uint8_t> into =
          builder.add(object.name, object.size, static_cast<std::uint32_t>(object.bytes.size()));
      std::copy(object.bytes.begin(), object.bytes.end(), into.begin());
    }
    fuzz::check(builder.take() == payload, "an accepted payload is rebuilt byte for byte");
    (void)rf2::layout_version(payload);
    (void)pcars2::layout_version(payload);
    (void)r3e::layout_version(payload);
  } catch (const PayloadDamage&) {
  }
  static Replay<rf2::Emulator> rf2;
  static Replay<pcars2::Emulator> pcars2;
  static Replay<r3e::Emulator> r3e;
  static Replay<shm::Emulator> shm;
  rf2.write(payload);
  pcars2.write(payload);
  r3e.write(payload);
  shm.write(payload);
  return 0;
}
