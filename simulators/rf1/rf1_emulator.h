// The replay's rFactor 1 / Automobilista 1 producer: "$rFactorShared$"
// created at the recorded size, never below the 11,367 bytes readers map,
// each frame written as recorded (the plugin has no consistency protocol
// and no counter to carry on), and zeroed on the way out, as the plugin
// leaves it at session end.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "simulators/named_memory/named_objects_producer.h"

namespace vove::rf1 {

class Emulator final : public NamedObjectsProducer {
 public:
  Emulator();
  ~Emulator() override { stop(); }

 protected:
  void finish_object(CreatedObject& target) override;
};

}  // namespace vove::rf1
