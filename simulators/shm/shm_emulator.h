// The replay's producer for named mappings recorded with dumper --shm: each
// created under its recorded name at its recorded size and written as
// recorded.
#pragma once

#include "simulators/named_memory/named_objects_producer.h"

namespace vove::shm {

class Emulator final : public NamedObjectsProducer {
 public:
  ~Emulator() override { stop(); }
};

}  // namespace vove::shm
