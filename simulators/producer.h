// A telemetry producer of the replay: re-creates one simulator's shared
// memory and writes recorded frame payloads into it.
#pragma once

#include <cstdint>
#include <vector>

namespace vove {

class Producer {
 public:
  // Shown, before start(), the first frame the replay will write, so that a
  // producer whose frames name their objects and sizes can create them as
  // recorded. A frame that is no frame of its kind is ignored here.
  virtual void prepare(const std::vector<std::uint8_t>& first_payload) { (void)first_payload; }
  // Creates or opens the simulator's named objects; throws
  // std::runtime_error with the reason on failure.
  virtual void start() = 0;
  // Writes one decompressed frame payload into the shared memory.
  virtual void write_frame(const std::vector<std::uint8_t>& payload) = 0;
  // Releases what start() created; nothing when nothing was created.
  virtual void stop() = 0;

  // Offered the frames before the replayed range, the latest first, before
  // the range's first frame is written; returns true while it wants an
  // earlier one. A producer keeps what its first image needs to be complete
  // (what a client would have seen, had the replay started at the file's
  // beginning).
  virtual bool take_earlier_frame(const std::vector<std::uint8_t>& payload) {
    (void)payload;
    return false;
  }
  // The next frame written begins a pass over the range: the first of the
  // replay, or the first again when the replay loops. Clients must see time
  // go on across a restart, not back.
  virtual void begin_pass() {}

  // Releases like stop().
  virtual ~Producer() = default;
};

}  // namespace vove
