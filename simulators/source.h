// A telemetry source of the recorder: one simulator's shared memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "common/platform/platform.h"
#include "common/source_id.h"
#include "formats/frame_payload.h"

namespace vove {

class Source {
 public:
  // Tries to attach, waiting at most `timeout`; true when attached and
  // ready to read. May be called again after false and after disconnect().
  virtual bool connect(std::chrono::milliseconds timeout) = 0;
  // Releases what connect() acquired; called once the source has gone down.
  virtual void disconnect() = 0;
  // One frame payload, or an empty one when no new data came in time.
  virtual FramePayload read_frame(std::chrono::milliseconds timeout) = 0;
  virtual SourceId source_id() const = 0;
  // What a deadline without new data records after the frame `last`: empty
  // when `last` serves again byte for byte. A source whose frames carry a
  // part only when it changed gives `last` without that part.
  virtual FramePayload repeat_of(const FramePayload& last) const {
    (void)last;
    return {};
  }
  // What the simulator had published, as of the frame read_frame() gave
  // last: a mark that changes whenever it publishes something new. None
  // before the first frame, or when the source keeps no such mark.
  virtual std::optional<std::uint64_t> publication_mark() const { return std::nullopt; }
  // Releases the source after it published nothing new for a while. It
  // connects again only once it publishes something new, so a simulator
  // that stands still is not recorded into one new file after another.
  virtual void disconnect_idle() { disconnect(); }
  // Whether the simulator said it has stopped (buffers zeroed at shutdown,
  // a game state of "exited"), as of the last read_frame(): the recording
  // ends at once rather than after a run of reads without new data.
  virtual bool has_stopped() const { return false; }
  // Why the last connect() could not attach when the system refused it;
  // empty when it attached, or when the simulator is simply not running.
  virtual platform::Failure attach_failure() const { return {}; }
  virtual ~Source() = default;
};

}  // namespace vove
