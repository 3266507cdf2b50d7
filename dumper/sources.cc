#include "dumper/sources.h"

#include "simulators/simulator.h"

namespace vove {

SourceList make_sources() {
  SourceList sources;
  sources.reserve(simulators().size());
  for (const Simulator& simulator : simulators()) {
    if (simulator.make_source != nullptr) sources.push_back(simulator.make_source());
  }
  return sources;
}

}  // namespace vove
