#include "simulators/lmu/lmu_lock.h"

#include <algorithm>
#include <atomic>
#include <bit>

#include "formats/lmu_layout.h"

namespace vove::lmu {

namespace {

// The words are the game's native int32s: read in place, they are the
// little-endian fields the layout describes only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);
static_assert(std::atomic_ref<std::int32_t>::required_alignment <= 4);
static_assert(std::atomic_ref<std::int32_t>::is_always_lock_free);

std::chrono::milliseconds left_until(SharedLock::Deadline deadline) noexcept {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return std::max(left, std::chrono::milliseconds{0});
}

}  // namespace

bool SharedLock::open_existing() noexcept {
  release();
  if (!page_.open_existing(lock_name, platform::Access::write) || !page_.map(platform::Access::write, lock_size)) {
    failure_ = page_.failure();
    page_.release();
    return false;
  }
  // Opened for signalling too: a release wakes whoever waits, the game included.
  event_ = platform::NamedEvent::open_existing(lock_event_name, platform::Access::write);
  return true;
}

bool SharedLock::create() noexcept {
  release();
  if (!page_.create_or_open(lock_name, lock_size) || !page_.map(platform::Access::write, lock_size)) {
    failure_ = page_.failure();
    page_.release();
    return false;
  }
  event_ = platform::NamedEvent::create(lock_event_name, platform::EventWakes::one_waiter);
  if (!event_) {
    failure_ = event_.failure();
    release();
    return false;
  }
  return true;
}

void SharedLock::release() noexcept {
  event_.close();
  page_.release();
}

std::int32_t* SharedLock::word(std::size_t offset) const noexcept {
  // A mapped view starts on a page boundary, so both words are 4-aligned.
  return reinterpret_cast<std::int32_t*>(page_.data() + offset);
}

bool SharedLock::try_take() noexcept {
  std::int32_t expected = 0;
  return std::atomic_ref<std::int32_t>(*word(lock_busy_offset)).compare_exchange_strong(expected, 1);
}

bool SharedLock::lock(Deadline deadline) noexcept {
  if (!is_open()) return false;
  const std::atomic_ref<std::int32_t> waiters(*word(lock_waiters_offset));
  for (;;) {
    for (int spin = 0; spin < lock_spins; ++spin) {
      if (try_take()) return true;
    }
    const std::chrono::milliseconds left = left_until(deadline);
    if (left <= std::chrono::milliseconds{0}) return false;
    waiters.fetch_add(1);
    // Counted first, tried once more: a holder that cleared busy before it
    // could see the count has signalled nobody.
    const bool taken = try_take();
    if (!taken) {
      if (event_) {
        event_.wait(left);
      } else {
        platform::sleep_for(std::chrono::milliseconds{1});
      }
    }
    waiters.fetch_sub(1);
    if (taken) return true;
  }
}

void SharedLock::unlock() noexcept {
  if (!is_open()) return;
  // Sequentially consistent, as the taker's count and its last try are: the
  // count is read after busy is cleared, so a taker that counted itself in
  // and still found busy set is signalled.
  std::atomic_ref<std::int32_t>(*word(lock_busy_offset)).store(0);
  if (std::atomic_ref<std::int32_t>(*word(lock_waiters_offset)).load() > 0 && event_) {
    event_.signal();
  }
}

}  // namespace vove::lmu
