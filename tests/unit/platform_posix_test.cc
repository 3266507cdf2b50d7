// What the POSIX backend adds: who removes the names and when, and the
// signal handlers.
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "common/platform/platform.h"
#include "common/platform/posix_system_calls.h"
#include "common/stop_signal.h"
#include "scoped_name_prefix.h"

namespace vove {

namespace {

using namespace platform;

// A forked child that runs `body` with its standard output captured, prints
// 'y' or 'n' for the result and then runs `then` (by default it waits to be
// signalled); SIGKILLed at the end.
struct Child {
  pid_t pid = -1;
  std::string output;

  template <typename Body, typename Then>
  Child(Body body, Then then) {
    int ends[2];
    if (::pipe(ends) != 0) return;
    if ((pid = ::fork()) == 0) {
      ::dup2(ends[1], STDOUT_FILENO);
      ::close(ends[0]);
      ::close(ends[1]);
      const char verdict = body() ? 'y' : 'n';
      if (::write(STDOUT_FILENO, &verdict, 1) != 1) ::_exit(3);
      ::close(STDOUT_FILENO);  // the end of the output for the parent
      then();
      ::_exit(0);
    }
    ::close(ends[1]);
    for (char c; ::read(ends[0], &c, 1) == 1;) output += c;
    ::close(ends[0]);
  }
  template <typename Body>
  explicit Child(Body body)
      : Child(body, [] {
          for (;;) ::pause();
        }) {}
  ~Child() { end_with(SIGKILL); }
  // The signal that ended the child; 0 when it exited.
  int end_with(int signal_number) {
    int status = 0;
    if (pid <= 0 || ::kill(pid, signal_number) != 0 || ::waitpid(pid, &status, 0) != pid) return 0;
    pid = -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
};

int mode(const std::string& path) {  // -1: no such file
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 0777) : -1;
}

struct CreatedNames {
  SharedMemory region;
  NamedEvent event;
};
std::optional<CreatedNames> created_names;

// A program asked to end by SIGTERM or SIGHUP winds down as after Ctrl+C,
// releases its names and then ends by the signal. A SIGKILLed creator
// leaves them; the next creator takes them over as they are and leaves
// them too, as they may be another program's.
TEST(PosixPlatform, NamesGoWithTheirCreatorUnlessItIsKilledOutright) {
  const ScopedNamePrefix prefix;
  const std::string region_path = "/dev/shm/" + prefix.prefix() + "X",
                    event_path = "/dev/shm/sem." + prefix.prefix() + "E";
  for (const int signal_number : {SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(signal_number);
    Child creator(
        [] {
          vove::watch_termination_requests();
          created_names.emplace(
              CreatedNames{SharedMemory::create_or_open("Local\\X", 5000), NamedEvent::create("Local\\E")});
          if (!created_names->region || !created_names->event) return false;
          created_names->event.signal();
          return true;
        },
        [] {
          // The programs' shape: the loop sees the stop flag, the names go
          // with their handles, and only then does the process end.
          const StopSignal stop;
          while (!stop.stop_requested()) platform::sleep_for(std::chrono::milliseconds{1});
          created_names.reset();
          vove::end_if_termination_requested();
        });
    EXPECT_EQ(creator.output, "y");
    EXPECT_EQ(creator.end_with(signal_number), signal_number);
    if (signal_number == SIGKILL) {
      const SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
      const NamedEvent event = NamedEvent::create("Local\\E");
      EXPECT_EQ(region.map(Access::read, 0).size(), 5000u);
      EXPECT_TRUE(event.wait(std::chrono::milliseconds{0})) << "the creator's signal";
    }
    const int left_mode = signal_number == SIGKILL ? 0600 : -1;  // for the user only
    EXPECT_EQ(mode(region_path), left_mode);
    EXPECT_EQ(mode(event_path), left_mode);
  }
  ::unlink(region_path.c_str());
  ::unlink(event_path.c_str());
}

// Assignment releases what a handle held first: a creator's names go at
// once, not when the process ends.
TEST(PosixPlatform, AssigningOverACreatorRemovesItsNames) {
  const ScopedNamePrefix prefix;
  const auto region_path = [&](const char* name) { return "/dev/shm/" + prefix.prefix() + name; };
  const auto event_path = [&](const char* name) { return "/dev/shm/sem." + prefix.prefix() + name; };
  SharedMemory region = SharedMemory::create_or_open("Local\\A", 64);
  NamedEvent event = NamedEvent::create("Local\\EA");
  ASSERT_NE(mode(region_path("A")), -1);
  ASSERT_NE(mode(event_path("EA")), -1);
  region = SharedMemory::create_or_open("Local\\B", 64);
  event = NamedEvent::create("Local\\EB");
  EXPECT_EQ(mode(region_path("A")), -1);
  EXPECT_EQ(mode(event_path("EA")), -1);
  EXPECT_NE(mode(region_path("B")), -1);
  EXPECT_NE(mode(event_path("EB")), -1);
}

// Started under nohup, a program keeps SIGHUP ignored; SIGTERM still asks
// it to end.
TEST(PosixPlatform, AnIgnoredHangupStaysIgnored) {
  Child child([] {
    ::signal(SIGHUP, SIG_IGN);
    vove::watch_termination_requests();
    struct sigaction hangup {
    }, terminate{};
    ::sigaction(SIGHUP, nullptr, &hangup);
    ::sigaction(SIGTERM, nullptr, &terminate);
    return hangup.sa_handler == SIG_IGN && terminate.sa_handler != SIG_DFL;
  });
  EXPECT_EQ(child.output, "y");
}

TEST(InterruptHandler, WritesTheMessageSetsTheStopFlagAndTheProcessGoesOn) {
  Child child([] {
    const StopSignal stop;
    ::raise(SIGINT);
    ::raise(SIGINT);
    return stop.stop_requested();
  });
  EXPECT_EQ(child.output, std::string(interrupt_message) + std::string(interrupt_message) + "y");
}

// ---- Through the seam: system calls that fail, are interrupted, or return short

// Calls the tests below put in; each test says how they misbehave.
int failures_left = 0;  // the next this many calls fail (or are interrupted)
int failure_errno = 0;

bool fail_now() {
  if (failures_left <= 0) return false;
  --failures_left;
  errno = failure_errno;
  return true;
}

// A new region the system cannot size (a full /dev/shm) is a failure that
// says why, and the name made for it is removed again.
TEST(PosixSeam, ARegionThatCannotBeSizedFailsAndLeavesNoName) {
  const ScopedNamePrefix prefix;
  posix::SystemCalls calls = posix::real_system_calls();
  calls.ftruncate = [](int descriptor, off_t length) {
    return fail_now() ? -1 : posix::real_system_calls().ftruncate(descriptor, length);
  };
  failures_left = 1;
  failure_errno = ENOSPC;
  const posix::ScopedSystemCalls seam(calls);
  const SharedMemory region = SharedMemory::create_or_open("Local\\full", 4096);
  EXPECT_FALSE(region);
  EXPECT_EQ(region.failure().reason, std::strerror(ENOSPC));
  EXPECT_EQ(region.failure().object, "shared memory /dev/shm/" + prefix.prefix() + "full");
  EXPECT_EQ(mode("/dev/shm/" + prefix.prefix() + "full"), -1);
  EXPECT_TRUE(SharedMemory::create_or_open("Local\\full", 4096)) << "the next attempt starts clean";
}

// A view the system will not map, or a region it cannot describe, is a
// failure of the view alone, with the system's reason; the region still maps
// once the system allows it.
TEST(PosixSeam, AViewThatCannotBeMappedSaysWhyAndTheRegionStaysUsable) {
  const ScopedNamePrefix prefix;
  const SharedMemory region = SharedMemory::create_or_open("Local\\map", 4096);
  ASSERT_TRUE(region);
  posix::SystemCalls calls = posix::real_system_calls();
  calls.mmap = [](void* address, std::size_t length, int protection, int flags, int descriptor, off_t offset) {
    return fail_now() ? MAP_FAILED
                      : posix::real_system_calls().mmap(address, length, protection, flags, descriptor, offset);
  };
  calls.fstat = [](int descriptor, struct stat* status) {
    return failure_errno == EIO && fail_now() ? -1 : posix::real_system_calls().fstat(descriptor, status);
  };
  const posix::ScopedSystemCalls seam(calls);
  for (const int error : {ENOMEM, EIO}) {
    failures_left = 1;
    failure_errno = error;
    const MappedView view = region.map(Access::write, 0);
    EXPECT_FALSE(view) << error;
    EXPECT_EQ(view.failure().reason, std::strerror(error));
    EXPECT_EQ(view.failure().object, "shared memory /dev/shm/" + prefix.prefix() + "map");
  }
  EXPECT_EQ(region.map(Access::write, 0).size(), 4096u);
}

// A wait interrupted by a signal goes on to its deadline, or to the signal
// it waits for; it does not end early as though it had timed out.
TEST(PosixSeam, AnInterruptedWaitGoesOn) {
  const ScopedNamePrefix prefix;
  const NamedEvent event = NamedEvent::create("Local\\interrupted");
  ASSERT_TRUE(event);
  posix::SystemCalls calls = posix::real_system_calls();
  calls.sem_wait_until = [](sem_t* semaphore, clockid_t clock, const timespec* deadline) {
    return fail_now() ? -1 : posix::real_system_calls().sem_wait_until(semaphore, clock, deadline);
  };
  calls.sem_trywait = [](sem_t* semaphore) {
    return fail_now() ? -1 : posix::real_system_calls().sem_trywait(semaphore);
  };
  const posix::ScopedSystemCalls seam(calls);
  failure_errno = EINTR;
  event.signal();
  failures_left = 3;
  EXPECT_TRUE(event.wait(std::chrono::milliseconds{1000})) << "the signal after three interruptions";
  failures_left = 3;
  EXPECT_FALSE(event.wait(std::chrono::milliseconds{30})) << "no signal: the deadline";
  EXPECT_EQ(failures_left, 0);
  event.signal();
  failures_left = 2;
  EXPECT_TRUE(event.wait(std::chrono::milliseconds{0})) << "a poll interrupted twice";
}

// A flush interrupted by a signal is tried again; one the disk refuses is a
// failure naming the file.
TEST(PosixSeam, AFlushIsRetriedWhenInterruptedAndFailsWithTheDisksReason) {
  const std::string path = ::testing::TempDir() + "vove_seam_flush_" + std::to_string(::getpid());
  ASSERT_EQ(create_new_file(path), CreateFileResult::created);
  posix::SystemCalls calls = posix::real_system_calls();
  calls.fsync = [](int descriptor) { return fail_now() ? -1 : posix::real_system_calls().fsync(descriptor); };
  const posix::ScopedSystemCalls seam(calls);
  failures_left = 5;
  failure_errno = EINTR;
  EXPECT_TRUE(flush_file_to_disk(path));
  failures_left = 1;
  failure_errno = EIO;
  Failure failure;
  EXPECT_FALSE(flush_file_to_disk(path, &failure));
  EXPECT_EQ(failure.reason, std::strerror(EIO));
  EXPECT_EQ(failure.object, "file " + path);
  ::unlink(path.c_str());
}

// The interrupt message reaches standard output whole when the system takes
// it a byte at a time and interrupts some of the writes.
TEST(PosixSeam, TheInterruptMessageIsWrittenWholeThroughShortAndInterruptedWrites) {
  Child child([] {
    posix::SystemCalls calls = posix::real_system_calls();
    calls.write = [](int descriptor, const void* bytes, std::size_t count) -> ssize_t {
      static int calls_made = 0;
      if (++calls_made % 3 == 0) {
        errno = EINTR;
        return -1;
      }
      return posix::real_system_calls().write(descriptor, bytes, count > 0 ? 1 : 0);
    };
    static posix::SystemCalls in_use = calls;
    const posix::ScopedSystemCalls seam(in_use);
    const StopSignal stop;
    ::raise(SIGINT);
    return stop.stop_requested();
  });
  EXPECT_EQ(child.output, std::string(interrupt_message) + "y");
}

}  // namespace

}  // namespace vove
