// The lock every reader of Le Mans Ultimate's data shares with the game:
// an 8-byte mapping (i32 waiters, i32 busy) and an event for its slow
// path. Taken by changing busy from 0 to 1, up to lock_spins attempts, then
// by waiting on the event as a counted waiter and trying again; given back
// by clearing busy and, when someone waits, signalling the event.
//
// Unlike a taker that treats a wake from the event as having the lock, this
// one takes busy itself after every wake, so two holders can never write
// and copy at once. Every wait is bounded by the caller's deadline: a lock
// held too long (a holder that died) gives "not locked", never a hang.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/platform/mapped_page.h"
#include "common/platform/platform.h"

namespace vove::lmu {

class SharedLock {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  SharedLock() noexcept = default;
  SharedLock(SharedLock&&) noexcept = default;
  SharedLock& operator=(SharedLock&&) noexcept = default;
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;

  // The game's lock, when it published one: the mapping opened for
  // writing; the event too where it exists (without it the slow path
  // sleeps a millisecond between tries).
  bool open_existing() noexcept;
  // The replay's and the stand-in's own: the mapping made (8 bytes, both
  // words 0) or opened, and the event made. False when either fails;
  // failure() says why.
  bool create() noexcept;
  void release() noexcept;

  bool is_open() const noexcept { return page_.is_mapped(); }
  const platform::Failure& failure() const noexcept { return failure_; }

  // Takes the lock by `deadline`; false (nothing held, waiters as before)
  // when it was not free by then, or no lock is open.
  bool lock(Deadline deadline) noexcept;
  // Gives back a lock lock() took.
  void unlock() noexcept;

 private:
  bool try_take() noexcept;
  std::int32_t* word(std::size_t offset) const noexcept;

  platform::MappedPage page_;
  platform::NamedEvent event_;
  platform::Failure failure_;
};

// Holds a SharedLock from a successful lock() to the end of its scope.
class LockHold {
 public:
  LockHold(SharedLock& lock, SharedLock::Deadline deadline) noexcept : lock_(lock), held_(lock.lock(deadline)) {}
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;
  ~LockHold() {
    if (held_) lock_.unlock();
  }
  bool held() const noexcept { return held_; }

 private:
  SharedLock& lock_;
  bool held_;
};

}  // namespace vove::lmu
