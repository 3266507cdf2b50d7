// The replay's producer for Automobilista 2 and Project CARS 2 and 3: the
// "$pcars2$" mapping written as the game writes it (the sequence number odd
// while the bytes change, even after), with a sequence of its own that keeps
// rising across loops, and the game state "exited" on the way out.
#pragma once

#include <cstdint>

#include "simulators/named_memory/named_objects_producer.h"

namespace vove::pcars2 {

class Emulator final : public NamedObjectsProducer {
 public:
  Emulator();
  ~Emulator() override { stop(); }

 protected:
  void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) override;
  void finish_object(CreatedObject& target) override;

 private:
  std::uint32_t sequence_ = 0;  // even between writes
};

}  // namespace vove::pcars2
