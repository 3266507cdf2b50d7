#include "simulators/shm/shm_connector.h"

#include "formats/named_objects_payload.h"

namespace vove::shm {

Connector::Connector(std::vector<std::string> names) : names_(std::move(names)), mappings_(names_.size()) {}

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  attach_failure_ = {};
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (mappings_[i].attach(names_[i], 1)) continue;
    attach_failure_ = mappings_[i].failure();
    disconnect();
    return false;
  }
  return !names_.empty();
}

void Connector::disconnect() {
  for (RecordedMapping& mapping : mappings_) mapping.release();
}

FramePayload Connector::read_frame(std::chrono::milliseconds /*timeout*/) {
  if (mappings_.empty() || !mappings_.front().is_attached()) return {};
  NamedObjectsPayloadBuilder builder;
  for (const RecordedMapping& mapping : mappings_) {
    copy_shared(mapping.bytes(), builder.add(mapping.name(), mapping.size(), mapping.size()));
  }
  return builder.take();
}

}  // namespace vove::shm
