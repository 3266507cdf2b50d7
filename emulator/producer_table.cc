#include "emulator/producer_table.h"

ProducerTable make_producer_table() {
  ProducerTable table;
  return table;
}
