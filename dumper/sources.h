// The telemetry sources the recorder polls, in polling order.
#pragma once

#include <memory>
#include <vector>

#include "simulators/source.h"

namespace vove {

using SourceList = std::vector<std::shared_ptr<Source>>;

// One per simulator, in the table's polling order: when two run, the first is
// recorded.
SourceList make_sources();

}  // namespace vove
