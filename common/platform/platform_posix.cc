// The POSIX backend: regions are shm_open objects mapped with mmap, events
// are named semaphores, the console interrupt is SIGINT.
//
// Names: "Local\X" becomes "/" + $VOVE_NAME_PREFIX + "X", so by default a
// region appears as /dev/shm/X and an event as /dev/shm/sem.X, where other
// telemetry readers on the machine look for them. The prefix keeps parallel
// test runs apart.
//
// Lifetime: POSIX names outlive their processes, unlike the names of the
// Windows objects this layer stands in for. So the handle that created a
// name removes it when released. SIGTERM and SIGHUP only set a flag (no
// unlinking is allowed in a signal handler): the program winds down,
// releases its handles and then ends by the signal. A name that exists
// already is opened as it is: never resized and never removed by us, since
// it may belong to another program on the machine (a telemetry bridge
// publishing under the same names). A name left behind by a process killed
// outright (SIGKILL) is therefore reused by the next creator, as it is.
#include "common/platform/platform.h"

#include "common/platform/fine_timer_resolution.h"
#include "common/platform/posix_system_calls.h"

#ifdef VOVE_FUZZ_SEAMS
#include "common/platform/fuzz_seams.h"
#endif

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <ctime>
#include <system_error>
#include <utility>

#include "common/console_key_decoder.h"

namespace vove::platform {

namespace posix {
namespace {

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 30))
constexpr bool wait_on_any_clock = true;
int wait_until(sem_t* semaphore, clockid_t clock, const timespec* deadline) {
  return ::sem_clockwait(semaphore, clock, deadline);
}
#else
constexpr bool wait_on_any_clock = false;
int wait_until(sem_t* semaphore, clockid_t, const timespec* deadline) { return ::sem_timedwait(semaphore, deadline); }
#endif

void* map_memory(void* address, std::size_t length, int protection, int flags, int descriptor, off_t offset) {
  return ::mmap(address, length, protection, flags, descriptor, offset);
}

constexpr SystemCalls real_calls{::shm_open, ::ftruncate, ::fstat,       map_memory,
                                 ::write,    ::fsync,     ::sem_trywait, wait_until};
std::atomic<const SystemCalls*> calls_in_use{&real_calls};

}  // namespace

const SystemCalls& real_system_calls() noexcept { return real_calls; }
const SystemCalls& system_calls() noexcept { return *calls_in_use.load(std::memory_order_acquire); }

ScopedSystemCalls::ScopedSystemCalls(const SystemCalls& calls) noexcept
    : previous_(calls_in_use.exchange(&calls, std::memory_order_acq_rel)) {}
ScopedSystemCalls::~ScopedSystemCalls() { calls_in_use.store(previous_, std::memory_order_release); }

}  // namespace posix

// errno values, whichever category carries them.
bool Failure::missing() const noexcept { return code == std::errc::no_such_file_or_directory; }

namespace {

using posix::system_calls;

constexpr std::string_view local_namespace = "Local\\";
// "/" + name, short enough that "sem." + name still fits a 255-byte file name.
constexpr std::size_t longest_native_name = 251;

// The POSIX object name for `name`: "/" + prefix + the name without its
// namespace. `error` is 0 when the system can take it, else the errno that
// says why not; the name is kept either way, to tell the user.
struct NativeName {
  std::string name;
  int error = 0;
};

NativeName native_name(std::string_view name) {
  if (name.substr(0, local_namespace.size()) == local_namespace) {
    name.remove_prefix(local_namespace.size());
  }
  NativeName native{"/", 0};
  if (const char* prefix = std::getenv("VOVE_NAME_PREFIX")) native.name += prefix;
  native.name += name;
  const std::string_view tail = std::string_view(native.name).substr(1);
  if (name.empty() || tail == "." || tail == ".." || tail.find('/') != std::string_view::npos ||
      tail.find('\0') != std::string_view::npos) {
    native.error = EINVAL;
  } else if (native.name.size() > longest_native_name) {
    native.error = ENAMETOOLONG;
  }
  return native;
}

enum class Kind { region, event };

// Where a user finds the object: shm_open and sem_open keep their objects
// in /dev/shm, an event's name with "sem." in front.
std::string object_description(Kind kind, const std::string& native) {
  return kind == Kind::region ? "shared memory /dev/shm" + native : "event /dev/shm/sem." + native.substr(1);
}

// Never throws: without memory for the words, the failure stays unexplained.
Failure failure_of(Kind kind, const std::string& native, std::string reason) noexcept {
  try {
    Failure failure;
    failure.reason = std::move(reason);
    failure.object = object_description(kind, native);
    return failure;
  } catch (...) {
    return {};
  }
}

Failure failure_of(Kind kind, const std::string& native, int error) noexcept {
  try {
    Failure failure = failure_of(kind, native, std::string(std::strerror(error)));
    failure.code = std::error_code(error, std::generic_category());
    return failure;
  } catch (...) {
    return {};
  }
}

SharedMemory failed_region(const std::string& native, int error) noexcept {
  return SharedMemory(failure_of(Kind::region, native, error));
}

NamedEvent failed_event(const std::string& native, int error) noexcept {
  return NamedEvent(failure_of(Kind::event, native, error));
}

// The terminal mode a ConsoleInput changed, put back when it is released,
// also on the wind-down after SIGTERM: the shell must not be left without echo.
struct termios terminal_to_restore {};
std::atomic<bool> terminal_changed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void restore_terminal() noexcept {
  if (terminal_changed.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &terminal_to_restore);
}

void close_descriptor(std::intptr_t& descriptor) noexcept {
  if (descriptor >= 0) ::close(static_cast<int>(descriptor));
  descriptor = -1;
}

sem_t* as_semaphore(std::intptr_t handle) noexcept { return handle == -1 ? nullptr : reinterpret_cast<sem_t*>(handle); }

// ---- Views ------------------------------------------------------------------
//
// The fuzz build puts an inaccessible page on each side of every view, so a
// read or write that strays outside a region faults at once instead of
// touching whatever memory happens to lie next to it.

#ifdef VOVE_FUZZ_SEAMS
std::size_t page_size() noexcept { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }
std::size_t guarded_length(std::size_t length) noexcept {
  const std::size_t page = page_size();
  return (length + page - 1) / page * page + 2 * page;
}
#endif

// Null on failure.
void* map_view(int descriptor, std::size_t length, int protection) noexcept {
#ifdef VOVE_FUZZ_SEAMS
  void* reserved = ::mmap(nullptr, guarded_length(length), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (reserved == MAP_FAILED) return nullptr;
  void* inside = static_cast<char*>(reserved) + page_size();
  if (system_calls().mmap(inside, length, protection, MAP_SHARED | MAP_FIXED, descriptor, 0) == MAP_FAILED) {
    const int error = errno;
    ::munmap(reserved, guarded_length(length));
    errno = error;
    return nullptr;
  }
  return inside;
#else
  void* address = system_calls().mmap(nullptr, length, protection, MAP_SHARED, descriptor, 0);
  return address == MAP_FAILED ? nullptr : address;
#endif
}

void unmap_view(void* address, std::size_t length) noexcept {
#ifdef VOVE_FUZZ_SEAMS
  ::munmap(static_cast<char*>(address) - page_size(), guarded_length(length));
#else
  ::munmap(address, length);
#endif
}

// ---- Console interrupt ------------------------------------------------------

const char* interrupt_text = nullptr;
std::size_t interrupt_length = 0;
void (*interrupt_callback)() noexcept = nullptr;

void on_interrupt_signal(int) {
  const int saved_errno = errno;
  // write(2), not a stream: only async-signal-safe calls here. A failed
  // write is ignored.
  std::size_t written = 0;
  while (written < interrupt_length) {
    const ssize_t result = system_calls().write(STDOUT_FILENO, interrupt_text + written, interrupt_length - written);
    if (result > 0) {
      written += static_cast<std::size_t>(result);
    } else if (result < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  if (interrupt_callback != nullptr) interrupt_callback();
  errno = saved_errno;
}

// ---- Termination requests ----------------------------------------------------

// The signal of the first request; 0 while there was none.
std::atomic<int> termination_signal{0};
void (*termination_callback)() noexcept = nullptr;
static_assert(std::atomic<int>::is_always_lock_free);

void restore_default_action(int signal_number) noexcept {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(signal_number, &default_action, nullptr);
}

void on_termination_signal(int signal_number) {
  int expected = 0;
  if (!termination_signal.compare_exchange_strong(expected, signal_number)) {
    // Asked again while winding down: end now, as the user insists. The
    // signal stays blocked until the handler returns, then takes effect.
    restore_default_action(signal_number);
    ::raise(signal_number);
    return;
  }
  if (termination_callback != nullptr) termination_callback();
}

}  // namespace

// ---- MappedView ---------------------------------------------------------------

MappedView::~MappedView() { unmap(); }

void MappedView::unmap() noexcept {
  if (address_ != nullptr) unmap_view(address_, size_);
  address_ = nullptr;
  size_ = 0;
}

// ---- SharedMemory ---------------------------------------------------------------

SharedMemory::~SharedMemory() { close(); }

bool SharedMemory::is_open() const noexcept { return handle_ >= 0; }

void SharedMemory::close() noexcept {
  // Only the handle that created the name removes it; views mapped from the
  // region, here or elsewhere, stay valid.
  if (!owned_name_.empty()) {
    ::shm_unlink(owned_name_.c_str());
    owned_name_.clear();
  }
  close_descriptor(handle_);
}

SharedMemory SharedMemory::create_or_open(std::string_view name, std::uint32_t size) noexcept {
  const NativeName native = native_name(name);
  SharedMemory region;
  if (native.error != 0) return failed_region(native.name, native.error);
  region.access_ = Access::write;
  region.failure_ = failure_of(Kind::region, native.name, std::string());

  // Two rounds: the name may vanish between a failed create and the open.
  for (int attempt = 0; attempt < 2; ++attempt) {
    int descriptor = system_calls().shm_open(native.name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (descriptor >= 0) {
      region.handle_ = descriptor;
      region.owned_name_ = native.name;
      // A new object is zero-filled by its first ftruncate.
      if (system_calls().ftruncate(descriptor, static_cast<off_t>(size)) != 0)
        return failed_region(native.name, errno);  // `region` removes the name it made
      return region;
    }
    if (errno != EEXIST) return failed_region(native.name, errno);

    descriptor = system_calls().shm_open(native.name.c_str(), O_RDWR, 0);
    if (descriptor >= 0) {
      region.handle_ = descriptor;
      return region;
    }
    if (errno != ENOENT) return failed_region(native.name, errno);
  }
  return failed_region(native.name, ENOENT);
}

SharedMemory SharedMemory::open_existing(std::string_view name, Access access) noexcept {
  const NativeName native = native_name(name);
  if (native.error != 0) return failed_region(native.name, native.error);
  const int descriptor = system_calls().shm_open(native.name.c_str(), access == Access::read ? O_RDONLY : O_RDWR, 0);
  if (descriptor < 0) return failed_region(native.name, errno);
  SharedMemory region;
  region.handle_ = descriptor;
  region.access_ = access;
  region.failure_ = failure_of(Kind::region, native.name, std::string());
  return region;
}

std::optional<std::uint64_t> SharedMemory::size() const noexcept {
  if (handle_ < 0) return std::nullopt;
  struct stat status {};
  if (system_calls().fstat(static_cast<int>(handle_), &status) != 0 || status.st_size < 0) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

MappedView SharedMemory::map(Access access, std::size_t length) const noexcept {
  // failure_ names the open region; its reason is still empty.
  const auto failed = [this](auto reason, int error = 0) noexcept {
    Failure failure = failure_;
    try {
      failure.reason = std::move(reason);
      if (error != 0) failure.code = std::error_code(error, std::generic_category());
    } catch (...) {
      failure = {};
    }
    return MappedView(std::move(failure));
  };
  if (handle_ < 0) return failed("the region is not open");
  if (access == Access::write && access_ == Access::read) return failed("the region was opened for reading only");
  struct stat status {};
  if (system_calls().fstat(static_cast<int>(handle_), &status) != 0) {
    const int error = errno;
    return failed(std::strerror(error), error);
  }
  if (status.st_size <= 0) return failed("the region is empty");
  // Pages past the end of the object would fault (SIGBUS) when touched, so
  // a view never reaches beyond it.
  const auto object_size = static_cast<std::uintmax_t>(status.st_size);
  if (object_size > SIZE_MAX) return failed(std::strerror(EOVERFLOW), EOVERFLOW);
  if (length == 0) length = static_cast<std::size_t>(object_size);
  if (length > object_size) {
    try {
      return failed("the region holds " + std::to_string(object_size) + " bytes, fewer than the " +
                    std::to_string(length) + " asked for");
    } catch (...) {
      return MappedView();
    }
  }
  const int protection = access == Access::read ? PROT_READ : PROT_READ | PROT_WRITE;
  void* address = map_view(static_cast<int>(handle_), length, protection);
  if (address == nullptr) {
    const int error = errno;
    return failed(std::strerror(error), error);
  }
  return MappedView(address, length);
}

// ---- NamedEvent -----------------------------------------------------------------

NamedEvent::~NamedEvent() { close(); }

bool NamedEvent::is_open() const noexcept { return handle_ != -1; }

void NamedEvent::close() noexcept {
  if (!owned_name_.empty()) {
    ::sem_unlink(owned_name_.c_str());
    owned_name_.clear();
  }
  if (sem_t* semaphore = as_semaphore(handle_)) ::sem_close(semaphore);
  handle_ = -1;
}

NamedEvent NamedEvent::create(std::string_view name, EventWakes wakes) noexcept {
  const NativeName native = native_name(name);
  if (native.error != 0) return failed_event(native.name, native.error);
  NamedEvent event;
  event.wakes_ = wakes;
  for (int attempt = 0; attempt < 2; ++attempt) {
    sem_t* semaphore = ::sem_open(native.name.c_str(), O_CREAT | O_EXCL, 0600, 0u);
    const bool created = semaphore != SEM_FAILED;
    if (!created) {
      if (errno != EEXIST) return failed_event(native.name, errno);
      semaphore = ::sem_open(native.name.c_str(), 0);
      if (semaphore == SEM_FAILED) {
        if (errno == ENOENT) continue;
        return failed_event(native.name, errno);
      }
    }
    event.handle_ = reinterpret_cast<std::intptr_t>(semaphore);
    if (created) {
      event.owned_name_ = native.name;
    }
    return event;
  }
  return failed_event(native.name, ENOENT);
}

// A named semaphore is opened for waiting and posting alike.
NamedEvent NamedEvent::open_existing(std::string_view name, Access /*access*/) noexcept {
  const NativeName native = native_name(name);
  if (native.error != 0) return failed_event(native.name, native.error);
  sem_t* semaphore = ::sem_open(native.name.c_str(), 0);
  if (semaphore == SEM_FAILED) return failed_event(native.name, errno);
  NamedEvent event;
  event.handle_ = reinterpret_cast<std::intptr_t>(semaphore);
  return event;
}

#ifdef VOVE_FUZZ_SEAMS
namespace {
void (*before_event_wait)() = nullptr;
}  // namespace

void fuzz_seams::set_before_event_wait(void (*hook)()) noexcept { before_event_wait = hook; }
#endif

namespace {

// `time` moved on by `duration` (not negative), as the system counts it.
timespec timespec_after(timespec time, std::chrono::milliseconds duration) noexcept {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  time.tv_sec += static_cast<std::time_t>(seconds.count());
  time.tv_nsec += static_cast<long>(std::chrono::nanoseconds(duration - seconds).count());
  if (time.tv_nsec >= 1'000'000'000L) {
    time.tv_sec += 1;
    time.tv_nsec -= 1'000'000'000L;
  }
  return time;
}

}  // namespace

bool NamedEvent::wait(std::chrono::milliseconds timeout) const noexcept {
#ifdef VOVE_FUZZ_SEAMS
  if (before_event_wait != nullptr) before_event_wait();
#endif
  sem_t* semaphore = as_semaphore(handle_);
  if (semaphore == nullptr) return false;
  if (timeout <= std::chrono::milliseconds::zero()) {
    while (system_calls().sem_trywait(semaphore) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  // On the monotonic clock where the C library allows it: a wall clock set
  // back during the wait would otherwise stretch it by as much.
  constexpr clockid_t clock = posix::wait_on_any_clock ? CLOCK_MONOTONIC : CLOCK_REALTIME;
  const auto timed_wait = [&](const timespec& until) {
    return system_calls().sem_wait_until(semaphore, clock, &until);
  };
  timespec now{};
  ::clock_gettime(clock, &now);
  const timespec deadline = timespec_after(now, timeout);
  while (timed_wait(deadline) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

namespace {

// The monotonic clock in whole microseconds.
std::chrono::microseconds monotonic_now() noexcept {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return std::chrono::seconds{now.tv_sec} + std::chrono::microseconds{now.tv_nsec / 1000};
}

// A semaphore wakes one waiter per post and cannot say how many wait. So
// the posts go out one at a time: whenever a waiter has taken the last one,
// the next post wakes the next waiter in line (the kernel wakes them in the
// order they began to wait). It ends when a post lies untaken for a while
// (nobody else is waiting), after a few milliseconds, or after enough posts
// for every client a machine runs. The untaken post stays for a client
// that waits a moment later, as with one_waiter, and is taken back at the
// next signal, so a signal never wakes a client for the frame before.
void post_to_every_waiter(sem_t* semaphore) noexcept {
  // Long enough for a waiter woken on a busy machine to get a processor,
  // well short of a frame at 60 a second.
  constexpr std::chrono::microseconds window{8000};
  constexpr std::chrono::microseconds untaken{2000};
  constexpr timespec poll{0, 100'000};
  while (::sem_trywait(semaphore) == 0) {
  }
  ::sem_post(semaphore);
  const std::chrono::microseconds start = monotonic_now();
  std::chrono::microseconds posted_at = start;
  for (int posts = 1; posts < waiters_woken_on_posix;) {
    ::nanosleep(&poll, nullptr);
    const std::chrono::microseconds now = monotonic_now();
    int value = 0;
    if (::sem_getvalue(semaphore, &value) != 0) return;
    if (value <= 0) {
      if (now - start >= window) return;
      ::sem_post(semaphore);
      posted_at = now;
      ++posts;
    } else if (now - posted_at >= untaken) {
      return;
    }
  }
}

}  // namespace

void NamedEvent::signal() const noexcept {
  sem_t* semaphore = as_semaphore(handle_);
  if (semaphore == nullptr) return;
  if (wakes_ == EventWakes::every_waiter) {
    post_to_every_waiter(semaphore);
    return;
  }
  // Auto-reset: a signalled event stays signalled once, however often it is
  // signalled, so a burst wakes at most one wait.
  int value = 0;
  if (::sem_getvalue(semaphore, &value) == 0 && value <= 0) ::sem_post(semaphore);
}

// ---- ConsoleInput ---------------------------------------------------------------

struct ConsoleInput::State {
  ConsoleKeyDecoder decoder;
  ~State() { restore_terminal(); }
};

ConsoleInput::ConsoleInput() noexcept = default;
ConsoleInput::ConsoleInput(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
ConsoleInput::ConsoleInput(ConsoleInput&& other) noexcept = default;
ConsoleInput& ConsoleInput::operator=(ConsoleInput&& other) noexcept {
  if (this != &other) {
    state_.reset();
    state_ = std::move(other.state_);
  }
  return *this;
}
ConsoleInput::~ConsoleInput() = default;

ConsoleInput ConsoleInput::open_standard_input() noexcept {
  // One process-wide terminal: a second taker would not know the mode to
  // put back. A program in the background may neither change nor read the
  // terminal (the system would stop it), so it takes no keys.
  if (terminal_changed.load() || ::isatty(STDIN_FILENO) != 1 || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp()) {
    return ConsoleInput();
  }
  struct termios mode {};
  if (::tcgetattr(STDIN_FILENO, &mode) != 0) return ConsoleInput();
  std::unique_ptr<State> state;
  try {
    state = std::make_unique<State>();
  } catch (...) {  // std::bad_alloc: go without keys
    return ConsoleInput();
  }
  terminal_to_restore = mode;
  // Single bytes as they are typed, not echoed, and a read that never
  // waits; the interrupt key still raises SIGINT (ISIG stays on).
  mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  terminal_changed.store(true);
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) {
    terminal_changed.store(false);
    return ConsoleInput();
  }
  return ConsoleInput(std::move(state));
}

std::optional<ConsoleKey> ConsoleInput::read_key() noexcept {
  if (!state_) return std::nullopt;
  unsigned char byte = 0;
  // VMIN 0 and VTIME 0: returns 0 at once when nothing was typed.
  while (::read(STDIN_FILENO, &byte, 1) == 1) {
    if (const auto key = state_->decoder.feed(byte)) return key;
  }
  return std::nullopt;
}

// ---- Process-wide operations ---------------------------------------------------

void sleep_for(std::chrono::milliseconds duration) noexcept {
  if (duration <= std::chrono::milliseconds::zero()) return;
  timespec remaining = timespec_after(timespec{}, duration);
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

// nanosleep is as fine as the kernel's high-resolution timers already.
FineTimerResolution::FineTimerResolution() noexcept = default;

void FineTimerResolution::release() noexcept { held_ = false; }

bool install_interrupt_handler(std::string_view message, void (*on_interrupt)() noexcept, Failure* failure) noexcept {
  static std::atomic<bool> installed{false};
  if (installed.load()) return true;
  interrupt_text = message.data();
  interrupt_length = message.size();
  interrupt_callback = on_interrupt;
  struct sigaction action {};
  action.sa_handler = on_interrupt_signal;
  sigemptyset(&action.sa_mask);
  // Kept installed for every further Ctrl+C; interrupted calls resume.
  action.sa_flags = SA_RESTART;
  if (::sigaction(SIGINT, &action, nullptr) != 0) {
    if (failure != nullptr) {
      const int error = errno;
      try {
        failure->reason = std::strerror(error);
        failure->object = "the interrupt signal SIGINT";
        failure->code = std::error_code(error, std::generic_category());
      } catch (...) {
      }
    }
    return false;
  }
  installed.store(true);
  return true;
}

bool install_termination_handler(void (*on_request)() noexcept) noexcept {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return true;
  termination_callback = on_request;
  bool all_installed = true;
  for (const int signal_number : {SIGTERM, SIGHUP}) {
    struct sigaction current {};
    // An ignored signal (nohup) is left ignored.
    if (::sigaction(signal_number, nullptr, &current) != 0) {
      all_installed = false;
      continue;
    }
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGHUP);
    // Interrupted calls resume; every wait of the programs is bounded, so
    // the flag is seen within one iteration.
    action.sa_flags = SA_RESTART;
    if (::sigaction(signal_number, &action, nullptr) != 0) all_installed = false;
  }
  return all_installed;
}

void end_if_termination_requested() noexcept {
  const int signal_number = termination_signal.load();
  if (signal_number == 0) return;
  restore_default_action(signal_number);
  sigset_t only_this{};
  sigemptyset(&only_this);
  sigaddset(&only_this, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &only_this, nullptr);
  ::raise(signal_number);
  // Not reached: the default effect of both signals ends the process.
  ::_exit(128 + signal_number);
}

namespace {

// Says why a call on the file `path` failed, when the caller asked.
void tell_file_failure(Failure* failure, const std::string& path, int error) noexcept {
  if (failure == nullptr) return;
  try {
    failure->reason = std::strerror(error);
    failure->object = "file " + path;
    failure->code = std::error_code(error, std::generic_category());
  } catch (...) {
    *failure = {};
  }
}

// fsync on a descriptor opened for the purpose; EINVAL and ENOTSUP mean the
// object cannot be flushed at all (a special file system), which is no
// failure of the data.
bool flush_path(const std::string& path, int flags, Failure* failure) noexcept {
  const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
  if (descriptor < 0) {
    tell_file_failure(failure, path, errno);
    return false;
  }
  int result;
  do {
    result = system_calls().fsync(descriptor);
  } while (result != 0 && errno == EINTR);
  const int error = result == 0 ? 0 : errno;
  ::close(descriptor);
  if (error == 0 || error == EINVAL || error == ENOTSUP) return true;
  tell_file_failure(failure, path, error);
  return false;
}

}  // namespace

CreateFileResult create_new_file(const std::string& path, Failure* failure) noexcept {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    if (errno == EEXIST) return CreateFileResult::exists;
    tell_file_failure(failure, path, errno);
    return CreateFileResult::failed;
  }
  ::close(descriptor);
  return CreateFileResult::created;
}

bool flush_file_to_disk(const std::string& path, Failure* failure) noexcept {
  return flush_path(path, O_RDONLY, failure);
}

bool flush_directory_to_disk(const std::string& path, Failure* failure) noexcept {
  return flush_path(path.empty() ? std::string(".") : path, O_RDONLY | O_DIRECTORY, failure);
}

bool standard_error_is_terminal() noexcept { return ::isatty(STDERR_FILENO) == 1; }

void use_binary_standard_output() noexcept {}  // POSIX streams never translate line ends

}  // namespace vove::platform
