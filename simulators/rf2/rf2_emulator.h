// The replay's rFactor 2 producer: the plugin's output buffers, each
// versioned one written as the plugin writes it (Begin bumped, the bytes,
// End set equal), with versions of its own that keep rising across loops,
// and zeroed under a last bump on the way out, as at the plugin's shutdown.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "simulators/named_memory/named_objects_producer.h"

namespace vove::rf2 {

class Emulator final : public NamedObjectsProducer {
 public:
  ~Emulator() override { stop(); }

 protected:
  std::uint32_t smallest_size(std::string_view name) const override;
  std::vector<std::string_view> standing_names() const override;
  // A versioned buffer is written only when its recorded version changed
  // (or a pass begins), so a reader sees news exactly when the plugin gave
  // some.
  void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) override;
  void finish_object(CreatedObject& target) override;

 private:
  struct Versions {
    std::uint32_t recorded = 0;   // the recorded End version written last
    std::uint32_t published = 0;  // the version readers see
  };
  std::unordered_map<std::string, Versions> versions_;
};

}  // namespace vove::rf2
