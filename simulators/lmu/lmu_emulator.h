// The replay's Le Mans Ultimate producer: LMU_Data at its recorded size
// (never smaller than the layout), the update event, and the shared lock's
// mapping and event, as the game makes them. Each frame is written under
// the lock and announced by one signal of the event; at stop the game
// version is set to 0 under the lock and announced, as a stopped game reads.
// The rF2 plugin's buffers a recording holds beside it are replayed by the
// plugin's protocol, as rFactor 2's replay writes them.
#pragma once

#include <chrono>

#include "common/platform/platform.h"
#include "simulators/lmu/lmu_lock.h"
#include "simulators/named_memory/named_objects_producer.h"
#include "simulators/rf2/rf2_emulator.h"

namespace vove::lmu {

class Emulator final : public NamedObjectsProducer {
 public:
  // How long a frame waits for a reader to give the lock back before it is
  // skipped (a reader that died holding it must not stop the replay).
  static constexpr std::chrono::milliseconds lock_wait{100};

  Emulator();
  ~Emulator() override { stop(); }

  // Throws std::runtime_error, holding nothing, when an object cannot be made.
  void start() override;
  void write_frame(const std::vector<std::uint8_t>& payload) override;
  void stop() override;

 protected:
  std::uint32_t smallest_size(std::string_view name) const override;
  void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) override;
  void finish_object(CreatedObject& target) override;

 private:
  platform::NamedEvent event_;
  SharedLock lock_;
  rf2::PluginBufferWriter plugin_;
  bool running_ = false;
  bool wrote_ = false;
  bool reported_lock_ = false;
};

}  // namespace vove::lmu
