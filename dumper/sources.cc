#include "dumper/sources.h"

SourceList make_sources() {
  SourceList sources;
  sources.reserve(2);
  return sources;
}
