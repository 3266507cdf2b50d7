#include "simulators/lmu/lmu_emulator.h"

#include <iostream>

#include "common/byte_coding.h"
#include "common/explained_error.h"
#include "formats/lmu_layout.h"

namespace vove::lmu {

Emulator::Emulator() : NamedObjectsProducer({{data_name, data_size}}) {}

void Emulator::start() {
  stop();
  // The event and the lock before the data: a reader that finds LMU_Data
  // finds the objects its protocol needs beside it.
  event_ = platform::NamedEvent::create(data_event_name, platform::EventWakes::one_waiter);
  if (!event_) throw platform_error("Failed to create event", event_.failure());
  if (!lock_.create()) {
    const platform::Failure failure = lock_.failure();
    event_.close();
    throw platform_error("Failed to create the lock", failure);
  }
  try {
    NamedObjectsProducer::start();
  } catch (...) {
    lock_.release();
    event_.close();
    throw;
  }
  running_ = true;
}

void Emulator::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!running_) return;
  wrote_ = false;
  {
    const LockHold hold(lock_, std::chrono::steady_clock::now() + lock_wait);
    if (!hold.held()) {
      if (!reported_lock_)
        std::cout << "A frame is skipped: a reader held " << lock_name << " for over " << lock_wait.count() << " ms"
                  << std::endl;
      reported_lock_ = true;
      return;
    }
    NamedObjectsProducer::write_frame(payload);
  }
  if (wrote_) event_.signal();
}

void Emulator::stop() {
  if (!running_) return;
  running_ = false;
  {
    // Written even when a reader keeps the lock: the last word must say stopped.
    const LockHold hold(lock_, std::chrono::steady_clock::now() + lock_wait);
    NamedObjectsProducer::stop();
  }
  event_.signal();
  lock_.release();
  event_.close();
}

std::uint32_t Emulator::smallest_size(std::string_view name) const {
  return name == data_name ? data_size : rf2::PluginBufferWriter::smallest_size(name);
}

void Emulator::write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) {
  if (rf2::PluginBufferWriter::is_plugin_buffer(recorded.name)) {
    plugin_.write(target, recorded, pass_begins);
  } else {
    NamedObjectsProducer::write_object(target, recorded, pass_begins);
  }
  wrote_ = true;
}

void Emulator::finish_object(CreatedObject& target) {
  if (rf2::PluginBufferWriter::is_plugin_buffer(target.name)) {
    plugin_.finish(target);
    return;
  }
  if (target.name != data_name || target.size < game_version_offset + 4) return;
  coding::encode_i32(target.bytes().data() + game_version_offset, 0);
}

}  // namespace vove::lmu
