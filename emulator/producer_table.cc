#include "emulator/producer_table.h"

#include "emulator/acc_emulator.h"
#include "emulator/iracing_emulator.h"

ProducerTable make_producer_table() {
  ProducerTable table;
  table.emplace(ACC::Emulator::source_id(), std::make_shared<ACC::Emulator>());
  table.emplace(iRacing::Emulator::source_id(), std::make_shared<iRacing::Emulator>());
  return table;
}
