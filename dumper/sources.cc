#include "dumper/sources.h"

#include "dumper/acc_connector.h"
#include "dumper/iracing_connector.h"

SourceList make_sources() {
  SourceList sources;
  sources.reserve(2);
  // Polling order matters: iRacing goes first, ACC after it.
  sources.push_back(std::make_shared<iRacing::Connector>());
  sources.push_back(std::make_shared<ACC::Connector>());
  return sources;
}
