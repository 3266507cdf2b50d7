// iRacing frame payloads from the fuzzer: parsed as the replay parses a
// recorded frame, then written by the replay's producer into its mapping,
// whose view has inaccessible pages on both sides in this build. A payload
// that parses must serialise back to the same bytes; none may make the
// producer write outside its view.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "formats/iracing_snapshot.h"
#include "formats/payload_damage.h"
#include "simulators/iracing/iracing_emulator.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

// The producer's mapping is sparse: only pages written take memory. Starting
// afresh now and then gives those pages back.
constexpr int frames_per_producer = 2000;

iracing::Emulator& producer() {
  static std::unique_ptr<iracing::Emulator> emulator;
  static int frames = 0;
  if (!emulator || ++frames == frames_per_producer) {
    frames = 0;
    emulator.reset();
    emulator = std::make_unique<iracing::Emulator>();
    emulator->start();
  }
  return *emulator;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::use_private_names();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  iracing::Snapshot snapshot;
  try {
    snapshot = iracing::parse_snapshot(input);
  } catch (const PayloadDamage&) {
    return 0;
  }
  const std::vector<std::uint8_t> again = iracing::serialise_snapshot(snapshot);
  fuzz::check(again.size() <= size && std::equal(again.begin(), again.end(), data),
              "a parsed payload serialises back to its own bytes");

  const std::vector<std::uint8_t> payload(data, data + size);
  producer().write_frame(payload);
  return 0;
}
