// The platform layer: named shared memory, named events, the console
// interrupt and the few file operations the recorder needs.
//
// One backend file implements this header per platform (platform_posix.cc,
// platform_win32.cc); CMake compiles exactly one. Nothing above this layer
// knows which one it runs on.
//
// Names are given as the simulators publish them, "Local\X". Failures are
// reported as an empty object or a false result, never by an exception: the
// callers decide what a failure means to them. An empty object says why it
// is empty (failure()), for the callers that tell the user.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace vove::platform {

enum class Access { read, write };

// Why a platform call failed, as the operating system put it, and on which
// object, named as the system knows it. Both empty when nothing failed (or
// when there was no memory left to say it).
struct Failure {
  std::string reason;  // "Permission denied"
  std::string object;  // "shared memory /dev/shm/IRSDKMemMapFileName"
  // The system's error: errno through std::generic_category(), Windows'
  // GetLastError() through std::system_category(). Empty when the backend
  // refused on its own account ("the region is empty").
  std::error_code code;

  bool empty() const noexcept { return reason.empty(); }
  // Whether the reason is only that no object of that name exists (ENOENT,
  // ERROR_FILE_NOT_FOUND and the like): derived from the code, so that it
  // cannot disagree with the words. Each backend knows its own codes.
  bool missing() const noexcept;
};

// A mapped view of a named shared-memory region; unmapped when destroyed.
class MappedView {
 public:
  MappedView() noexcept = default;
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;  // unmaps its old view first
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView();

  bool is_mapped() const noexcept { return address_ != nullptr; }
  explicit operator bool() const noexcept { return is_mapped(); }
  // Writing through a view mapped for reading is a fault.
  std::byte* data() const noexcept { return static_cast<std::byte*>(address_); }
  // Bytes that may be touched from data(); never more than the region holds.
  // On Windows sizes come in whole 4096-byte pages: a region of 800 bytes maps and reports 4096.
  std::size_t size() const noexcept { return size_; }
  void unmap() noexcept;
  // Why the view could not be mapped; empty for a mapped view.
  const Failure& failure() const noexcept { return failure_; }

 private:
  friend class SharedMemory;
  MappedView(void* address, std::size_t size) noexcept : address_(address), size_(size) {}
  explicit MappedView(Failure failure) noexcept : failure_(std::move(failure)) {}

  void* address_ = nullptr;
  std::size_t size_ = 0;
  Failure failure_;
};

// A handle to a named shared-memory region.
//
// Lifetime follows Windows as far as the platform allows: the region lives
// while a handle or view of it exists anywhere. On POSIX the handle that
// created the name removes it when released (a program that watches for
// termination requests releases its handles before it ends by SIGTERM or
// SIGHUP); views already mapped elsewhere stay valid. A name
// that exists already, whoever made it, is opened as it is and never removed.
class SharedMemory {
 public:
  SharedMemory() noexcept = default;
  // An empty handle that says why it is empty.
  explicit SharedMemory(Failure why) noexcept : failure_(std::move(why)) {}
  SharedMemory(SharedMemory&& other) noexcept;
  SharedMemory& operator=(SharedMemory&& other) noexcept;  // releases its old region first
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;
  ~SharedMemory();

  // Creates the region zero-filled with `size` bytes, readable and writable,
  // or opens it as it is (never resized) when the name exists already.
  static SharedMemory create_or_open(std::string_view name, std::uint32_t size) noexcept;
  // Opens an existing region; empty when there is none of that name.
  static SharedMemory open_existing(std::string_view name, Access access) noexcept;

  bool is_open() const noexcept;
  explicit operator bool() const noexcept { return is_open(); }
  void close() noexcept;

  // Maps `length` bytes from the start of the region, or the whole region
  // for 0. Unmapped on failure, for example when `length` exceeds the region
  // or when writing is asked of a region opened for reading.
  MappedView map(Access access, std::size_t length) const noexcept;

  // The region's size as its creator made it (a Windows section's own size,
  // not rounded up to whole pages); none when not open or when the system
  // will not say.
  std::optional<std::uint64_t> size() const noexcept;

  // Why create_or_open() or open_existing() came back empty.
  const Failure& failure() const noexcept { return failure_; }

 private:
  std::intptr_t handle_ = -1;  // the backend's native handle; -1 when empty
  Access access_ = Access::read;
  std::string owned_name_;  // backend-native name this handle must remove, if any
  // The region as the system knows it while open; why it is not, when empty.
  Failure failure_;
};

// Whom one signal of a NamedEvent wakes.
enum class EventWakes {
  // One waiter, or the next one to wait: the signal stays until taken.
  one_waiter,
  // Every client waiting at that moment, as a simulator's data-valid event
  // does for all its listeners. Windows: a manual-reset event pulsed, so a
  // client that waits again straight away sleeps until the next signal. POSIX, whose named semaphore wakes one waiter per post:
  // one post after another for up to a few milliseconds, each as soon as
  // the last was taken (at most waiters_woken_on_posix); a client that
  // waits again within that time may take a later post and find nothing
  // new, so clients compare the header's tick, as the simulator's do. The
  // signal blocks for as long (well under a frame).
  every_waiter,
};

// The most posts one every_waiter signal makes on POSIX.
inline constexpr int waiters_woken_on_posix = 16;

// Whether an every_waiter signal wakes each client waiting at that moment
// for certain (Windows), or only as far as the woken ones get a processor
// within the few milliseconds (POSIX).
#ifdef _WIN32
inline constexpr bool every_waiter_wake_is_certain = true;
#else
inline constexpr bool every_waiter_wake_is_certain = false;
#endif

// A named event that one process creates and others wait on.
class NamedEvent {
 public:
  NamedEvent() noexcept = default;
  // An empty handle that says why it is empty.
  explicit NamedEvent(Failure why) noexcept : failure_(std::move(why)) {}
  NamedEvent(NamedEvent&& other) noexcept;
  NamedEvent& operator=(NamedEvent&& other) noexcept;  // releases its old event first
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;
  ~NamedEvent();

  // Creates the event not signalled, or opens the existing one of that
  // name. An event that exists already keeps the kind its creator gave it
  // (Windows ignores ours): if that is an auto-reset event, an
  // every_waiter signal wakes one waiter and leaves nothing behind.
  static NamedEvent create(std::string_view name, EventWakes wakes = EventWakes::one_waiter) noexcept;
  // Opens an existing event for waiting; empty when there is none. With
  // Access::write it may also be signalled, as by a party to a lock whose
  // slow path waits on an event someone else created.
  static NamedEvent open_existing(std::string_view name, Access access = Access::read) noexcept;

  bool is_open() const noexcept;
  explicit operator bool() const noexcept { return is_open(); }
  void close() noexcept;

  // Waits until the event is signalled or `timeout` has passed; true when
  // signalled. A timeout of 0 or below only tests. Whole milliseconds, the
  // grain Windows waits in: a caller with a finer time rounds it itself.
  bool wait(std::chrono::milliseconds timeout) const noexcept;
  // Wakes whom create() said. A one_waiter signal nobody has taken yet is
  // not counted twice. The replay signals after each frame it publishes,
  // as the simulator does; the recorder only waits.
  void signal() const noexcept;

  // Why create() or open_existing() came back empty.
  const Failure& failure() const noexcept { return failure_; }

 private:
  std::intptr_t handle_ = -1;
  EventWakes wakes_ = EventWakes::one_waiter;
  std::string owned_name_;
  Failure failure_;
};

// The keys an interactive program reacts to; every other key is `other`.
enum class ConsoleKey { space, right_arrow, period, plus, minus, letter_q, other };

// Single keys typed at the console, read without waiting and without echo.
//
// Interactive only when standard input is a console the program may change
// (a terminal in the foreground on POSIX, a console on Windows): the input
// mode is then switched to single keys without echo, and put back when the
// object is destroyed (also when the process is ended by SIGTERM or SIGHUP
// on POSIX). Otherwise, as when input is redirected, nothing is changed and
// no key is ever reported. The interrupt key keeps its effect.
class ConsoleInput {
 public:
  ConsoleInput() noexcept;  // not interactive
  ConsoleInput(ConsoleInput&& other) noexcept;
  ConsoleInput& operator=(ConsoleInput&& other) noexcept;  // puts its own console back first
  ConsoleInput(const ConsoleInput&) = delete;
  ConsoleInput& operator=(const ConsoleInput&) = delete;
  ~ConsoleInput();

  // Takes over standard input when it is an interactive console.
  static ConsoleInput open_standard_input() noexcept;

  bool is_interactive() const noexcept { return state_ != nullptr; }
  // The next key typed, if any, without waiting.
  std::optional<ConsoleKey> read_key() noexcept;

 private:
  struct State;  // the backend's saved console mode and partial key
  explicit ConsoleInput(std::unique_ptr<State> state) noexcept;
  std::unique_ptr<State> state_;
};

// Blocks the calling thread for about `duration` (nothing for 0 or less).
void sleep_for(std::chrono::milliseconds duration) noexcept;

// Registers, once per process, a routine that runs when the user presses the
// console's interrupt key (Ctrl+C): it writes `message` to standard output
// and then calls `on_interrupt`, and the process goes on running. Other
// termination requests keep their default effect. `message` must outlive the
// process. Returns false when the registration failed, and then says why in
// `failure` when one is given.
bool install_interrupt_handler(std::string_view message, void (*on_interrupt)() noexcept,
                               Failure* failure = nullptr) noexcept;

// Registers, once per process, the answer to a request to end the process
// other than the interrupt key (SIGTERM and SIGHUP on POSIX): the handler
// only records the request and calls `on_request`, which must be safe to
// call from a signal handler. The program then winds down, releases its
// names the ordinary way and calls end_if_termination_requested(). A second
// request ends the process at once. A signal ignored at start (nohup) stays
// ignored. Does nothing on Windows, where a process's objects go with it.
bool install_termination_handler(void (*on_request)() noexcept) noexcept;

// Ends the process by the recorded termination request, with that signal's
// default effect; returns at once when there was none.
void end_if_termination_requested() noexcept;

// Creates `path` as a new empty file, failing when a file of that name
// exists already, so the recorder never overwrites an earlier recording.
// When it failed otherwise, `failure` (if given) says why.
enum class CreateFileResult { created, exists, failed };
CreateFileResult create_new_file(const std::string& path, Failure* failure = nullptr) noexcept;

// Writes what the system holds of the file `path` through to the disk, so
// that a power cut cannot leave it empty or short after it was reported
// complete. False when the system refused, with why in `failure`.
bool flush_file_to_disk(const std::string& path, Failure* failure = nullptr) noexcept;

// Makes the names in the directory `path` durable, a rename into it above
// all. POSIX needs this separately from the file's own flush; on Windows
// the file system logs its names itself, and this does nothing.
bool flush_directory_to_disk(const std::string& path, Failure* failure = nullptr) noexcept;

// Whether standard error is a terminal (a console on Windows), where a
// progress line may be redrawn in place; false when it is redirected.
bool standard_error_is_terminal() noexcept;

// Makes standard output pass bytes through unchanged. Windows otherwise
// turns every "\n" written there into "\r\n", which would change a text
// copied out of a recording and double the line ends of a CSV file.
void use_binary_standard_output() noexcept;

}  // namespace vove::platform
