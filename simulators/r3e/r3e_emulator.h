// The replay's RaceRoom producer: the "$R3E" mapping written as recorded
// (the game has no consistency protocol), its simulation ticks and time
// carried on across loops so that they never go back.
#pragma once

#include <cstdint>
#include <optional>

#include "simulators/named_memory/named_objects_producer.h"

namespace vove::r3e {

class Emulator final : public NamedObjectsProducer {
 public:
  Emulator();
  ~Emulator() override { stop(); }

 protected:
  void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) override;

 private:
  std::optional<std::uint32_t> last_ticks_;  // as published
  std::uint32_t tick_shift_ = 0;             // added to the recorded ticks
};

}  // namespace vove::r3e
