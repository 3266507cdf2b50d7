// The read-only client of the iRacing telemetry shared memory: a move-only
// object that holds the mapping, its view and the data-valid event while
// attached, owned by whoever records from it (the iRacing connector), and
// used from one thread.
//
// The simulator writes the memory concurrently and without a lock, and its
// header is trusted for nothing: every read stays inside the mapped view,
// and only the header's four buffer slots are ever looked at. Failures are
// reported as false, empty or null results, never thrown or printed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/platform/platform.h"
#include "formats/iracing_layout.h"

namespace vove::iracing {

class Client {
 public:
  Client() noexcept = default;
  Client(Client&& other) noexcept;
  Client& operator=(Client&& other) noexcept;
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  ~Client() = default;  // the handles release themselves

  // Opens whatever of the mapping, its view and the data-valid event is not
  // held yet; true when all three are. Objects obtained by an earlier
  // partial attempt stay held. Every attempted step forgets the last
  // delivered tick.
  bool open();
  void close() noexcept;
  // Why the last open() failed, unless only because the simulator's objects
  // do not exist; empty otherwise.
  platform::Failure open_failure() const;

  // A copy of the header as it is now; empty while detached.
  std::optional<MemoryHeader> current_header() const;

  // Bytes of the mapped view; 0 while detached.
  std::size_t view_size() const noexcept;

  // True when the newest slot holds a row newer than the last one
  // delivered; the first poll after an open, after a cleared `connected`
  // bit or after the tick went back only records the tick. Opens first
  // while detached. The row is copied into `destination` (`capacity` bytes)
  // unless it is null; a row longer than `capacity`, of a negative length or
  // lying outside the view is not copied and reports false. On true,
  // `header`, when given, receives the header the row was chosen by, so the
  // tick of its newest slot is the tick of the row copied.
  bool poll_new_data(std::uint8_t* destination, std::size_t capacity, MemoryHeader* header = nullptr);

  // Polls, then waits on the data-valid event and polls again until a new
  // row arrives or `timeout` has passed; a timeout of 0 polls twice
  // without waiting. Sleeps the timeout while the simulator is absent.
  bool wait_for_new_data(std::chrono::milliseconds timeout, std::uint8_t* destination, std::size_t capacity,
                         MemoryHeader* header = nullptr);

  // The session text in place, up to its first zero byte or the end of the
  // view. Empty optional while detached or when the offset lies outside the
  // view. Valid until close().
  std::optional<std::string_view> session_info_text() const;

  // A copy of variable header `index`; empty while detached, for an index
  // outside [0, variable_count), or for an entry not wholly inside the view.
  std::optional<VariableHeader> variable_header_at(std::int32_t index) const;

 private:
  bool open_failed(const platform::Failure& failure);
  const std::uint8_t* view_bytes() const noexcept;
  bool in_view(std::int64_t offset, std::uint64_t length) const noexcept;
  MemoryHeader read_header() const;
  std::int32_t read_slot_tick(int slot) const;
  bool copy_row(const MemoryHeader& header, std::uint8_t* destination, std::size_t capacity) const;

  platform::SharedMemory mapping_;
  platform::MappedView view_;
  platform::NamedEvent data_valid_;
  bool attached_ = false;
  std::int32_t last_tick_ = no_tick;  // tick of the last row delivered
  platform::Failure open_failure_;    // of the last open attempt
};

}  // namespace vove::iracing
