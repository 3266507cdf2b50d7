#include "emulator/producer_table.h"

#include "simulators/simulator.h"

namespace vove {

ProducerTable make_producer_table() {
  ProducerTable table;
  for (const Simulator& simulator : simulators()) table.emplace(simulator.source_id, simulator.make_producer());
  return table;
}

}  // namespace vove
