// The replay's producers, one per source kind, keyed by source id.
#pragma once

#include <map>
#include <memory>

#include "common/source_id.h"
#include "emulator/emulator.h"

using ProducerTable = std::map<SourceId, std::shared_ptr<Emulator>>;

// Constructs every producer (none is started): "accz" first, then "irac".
ProducerTable make_producer_table();
