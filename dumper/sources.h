// The telemetry sources the recorder polls, in polling order.
#pragma once

#include <memory>
#include <vector>

#include "dumper/connector.h"

using SourceList = std::vector<std::shared_ptr<Connector>>;

// iRacing first, then ACC: when both run, iRacing is recorded.
SourceList make_sources();
