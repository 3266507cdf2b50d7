// A telemetry producer of the replay: re-creates one simulator's shared
// memory and writes recorded frame payloads into it.
#pragma once

#include <cstdint>
#include <vector>

class Emulator {
 public:
  // Creates or opens the simulator's named objects; throws
  // std::runtime_error with the reason on failure.
  virtual void start() = 0;
  // Writes one decompressed frame payload into the shared memory.
  virtual void write_frame(const std::vector<std::uint8_t>& payload) = 0;
  // Releases what start() created; nothing when nothing was created.
  virtual void stop() = 0;
  // Releases like stop().
  virtual ~Emulator() = default;
};
