// The replay's rFactor 2 producer: the plugin's output buffers, each
// versioned one written as the plugin writes it (Begin bumped, the bytes,
// End set equal), with versions of its own that keep rising across loops,
// and zeroed under a last bump on the way out, as at the plugin's shutdown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "simulators/named_memory/named_objects_producer.h"

namespace vove::rf2 {

// How the plugin writes its buffers, for every producer that replays them
// (rFactor 2's own, and Le Mans Ultimate's when the plugin ran beside it).
class PluginBufferWriter {
 public:
  // Whether `name` is one of the plugin's output buffers.
  static bool is_plugin_buffer(std::string_view name) noexcept;
  // The size below which a buffer is never created: the plugin's own.
  static std::uint32_t smallest_size(std::string_view name) noexcept;
  // A versioned buffer is written only when its recorded version changed
  // (or a pass begins), so a reader sees news exactly when the plugin gave
  // some; any other object is copied as recorded.
  void write(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins);
  // Zeroes the buffer, under a last version bump where it has a version block.
  void finish(CreatedObject& target);

 private:
  struct Versions {
    std::uint32_t recorded = 0;   // the recorded End version written last
    std::uint32_t published = 0;  // the version readers see
  };
  std::unordered_map<std::string, Versions> versions_;
};

class Emulator final : public NamedObjectsProducer {
 public:
  ~Emulator() override { stop(); }

 protected:
  std::uint32_t smallest_size(std::string_view name) const override;
  std::vector<std::string_view> standing_names() const override;
  void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) override;
  void finish_object(CreatedObject& target) override;

 private:
  PluginBufferWriter writer_;
};

}  // namespace vove::rf2
