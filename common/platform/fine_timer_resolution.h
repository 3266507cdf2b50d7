// The platform layer's request for a fine system timer, held by the
// programs for as long as they run.
#pragma once

namespace vove::platform {

// Asks the system for a 1 ms timer for as long as it lives, so that a 1 ms
// sleep lasts about 1 ms and not a whole default tick: 15.6 ms on Windows,
// where a process gets a finer timer only by asking for it. Released when
// destroyed. Where sleeps are fine-grained without asking (POSIX) it asks
// for nothing and holds nothing.
class FineTimerResolution {
 public:
  FineTimerResolution() noexcept;
  FineTimerResolution(FineTimerResolution&& other) noexcept;
  FineTimerResolution& operator=(FineTimerResolution&& other) noexcept;  // releases its own first
  FineTimerResolution(const FineTimerResolution&) = delete;
  FineTimerResolution& operator=(const FineTimerResolution&) = delete;
  ~FineTimerResolution() { release(); }

  // Whether this object holds a request the system granted.
  bool is_held() const noexcept { return held_; }
  void release() noexcept;

 private:
  bool held_ = false;
};

}  // namespace vove::platform
