// The replay's producers, one per source kind, keyed by source id.
#pragma once

#include <map>
#include <memory>

#include "common/source_id.h"
#include "simulators/producer.h"

namespace vove {

using ProducerTable = std::map<SourceId, std::shared_ptr<Producer>>;

// Constructs one producer per simulator (none is started).
ProducerTable make_producer_table();

}  // namespace vove
