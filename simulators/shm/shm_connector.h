// The recorder's source for named mappings of any program (dumper --shm):
// each mapping copied whole, at the size its creator made it, on every
// read. No consistency protocol is known for them, so a copy may hold a
// write half done, and no counter tells new data from old.
#pragma once

#include <string>
#include <vector>

#include "common/source_id.h"
#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove::shm {

inline constexpr SourceId shm_source_id = make_source_id("shmz");

class Connector final : public Source {
 public:
  // `names` as the mappings' creators name them; at most 64, none twice.
  explicit Connector(std::vector<std::string> names);
  // Attaches when every mapping exists.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override;
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return shm_source_id; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 private:
  std::vector<std::string> names_;
  std::vector<RecordedMapping> mappings_;
  platform::Failure attach_failure_;
};

}  // namespace vove::shm
