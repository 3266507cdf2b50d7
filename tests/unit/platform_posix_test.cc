// What the POSIX backend adds to the platform layer: where the names
// appear, who removes them and when, and the SIGINT handler.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/platform/platform.h"
#include "common/stop_signal.h"

namespace {

using platform::Access;
using platform::NamedEvent;
using platform::SharedMemory;

// Gives the test its own name prefix and removes whatever is left under it.
class PosixNames : public ::testing::Test {
 protected:
  PosixNames() {
    static int next = 0;
    prefix_ = "vovetest_" + std::to_string(::getpid()) + "_" + std::to_string(next++) + "_";
    ::setenv("VOVE_NAME_PREFIX", prefix_.c_str(), 1);
  }
  ~PosixNames() override {
    for (const char* name : {"X", "Y", "E"}) {
      ::unlink(region_path(name).c_str());
      ::unlink(event_path(name).c_str());
    }
    ::unsetenv("VOVE_NAME_PREFIX");
  }

  std::string region_path(std::string_view name) const { return "/dev/shm/" + prefix_ + std::string(name); }
  std::string event_path(std::string_view name) const {
    return "/dev/shm/sem." + prefix_ + std::string(name);
  }
  static bool exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
  }
  static mode_t permissions(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 0777) : 0;
  }

  std::string prefix_;
};

// A child process that runs `body`, reports readiness through a pipe and
// then waits to be signalled. Always reaped.
class Child {
 public:
  template <typename Body>
  explicit Child(Body body) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      const char status = body() ? 'y' : 'n';
      if (::write(ready[1], &status, 1) != 1) ::_exit(3);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char status = 0;
    while (::read(ready[0], &status, 1) < 0 && errno == EINTR) {
    }
    ready_ = status == 'y';
    ::close(ready[0]);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      end_status();
    }
  }

  bool ready() const { return pid_ > 0 && ready_; }
  // Sends `signal_number` and returns the wait status of the child.
  int end_with(int signal_number) {
    ::kill(pid_, signal_number);
    return end_status();
  }

 private:
  int end_status() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    return status;
  }

  pid_t pid_ = -1;
  bool ready_ = false;
  bool reaped_ = false;
};

TEST_F(PosixNames, ObjectsAppearUnderThePrefixedNameForTheUserOnly) {
  const SharedMemory region = SharedMemory::create_or_open("Local\\X", 5000);
  const NamedEvent event = NamedEvent::create("Local\\E");
  ASSERT_TRUE(region);
  ASSERT_TRUE(event);
  EXPECT_TRUE(exists(region_path("X")));
  EXPECT_EQ(permissions(region_path("X")), 0600u);
  EXPECT_TRUE(exists(event_path("E")));
  EXPECT_EQ(permissions(event_path("E")), 0600u);

  struct stat status {};
  ASSERT_EQ(::stat(region_path("X").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 5000);
}

TEST_F(PosixNames, ANameWithoutTheNamespaceMapsTheSameWay) {
  const SharedMemory region = SharedMemory::create_or_open("Y", 16);
  ASSERT_TRUE(region);
  EXPECT_TRUE(exists(region_path("Y")));
  EXPECT_TRUE(SharedMemory::open_existing("Local\\Y", Access::read));
}

TEST_F(PosixNames, RejectsNamesThatAreNoObjectNames) {
  for (const char* name : {"", "Local\\", "Local\\a/b", "a/b"}) {
    EXPECT_FALSE(SharedMemory::create_or_open(name, 16)) << name;
    EXPECT_FALSE(NamedEvent::create(name)) << name;
  }
  EXPECT_FALSE(SharedMemory::create_or_open(std::string(300, 'a'), 16));
  ::setenv("VOVE_NAME_PREFIX", "a/b", 1);
  EXPECT_FALSE(SharedMemory::create_or_open("Local\\X", 16));
  // Without a prefix these would name /dev/shm itself or its parent.
  ::setenv("VOVE_NAME_PREFIX", "", 1);
  for (const char* name : {"Local\\.", "Local\\.."}) {
    EXPECT_FALSE(SharedMemory::create_or_open(name, 16)) << name;
    EXPECT_FALSE(NamedEvent::create(name)) << name;
  }
}

TEST_F(PosixNames, OnlyTheCreatorRemovesTheNames) {
  SharedMemory creator = SharedMemory::create_or_open("Local\\X", 64);
  NamedEvent event_creator = NamedEvent::create("Local\\E");
  ASSERT_TRUE(creator);
  ASSERT_TRUE(event_creator);
  {
    const SharedMemory opener = SharedMemory::create_or_open("Local\\X", 64);
    const SharedMemory reader = SharedMemory::open_existing("Local\\X", Access::read);
    const NamedEvent event_opener = NamedEvent::create("Local\\E");
    const NamedEvent event_waiter = NamedEvent::open_existing("Local\\E");
    ASSERT_TRUE(opener && reader && event_opener && event_waiter);
  }
  EXPECT_TRUE(exists(region_path("X")));
  EXPECT_TRUE(exists(event_path("E")));

  creator.close();
  event_creator.close();
  EXPECT_FALSE(exists(region_path("X")));
  EXPECT_FALSE(exists(event_path("E")));
}

TEST_F(PosixNames, ViewsOutliveTheRemovedName) {
  SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
  const SharedMemory reader = SharedMemory::open_existing("Local\\X", Access::read);
  const platform::MappedView writer_view = region.map(Access::write, 0);
  const platform::MappedView reader_view = reader.map(Access::read, 0);
  ASSERT_TRUE(writer_view && reader_view);
  region.close();
  EXPECT_FALSE(exists(region_path("X")));
  writer_view.data()[5] = std::byte{9};
  EXPECT_EQ(reader_view.data()[5], std::byte{9});
}

class NamesAfterSignal : public PosixNames, public ::testing::WithParamInterface<int> {};

TEST_P(NamesAfterSignal, AreRemovedWhenTheProcessIsEnded) {
  const int signal_number = GetParam();
  Child child([] {
    // Deliberately never released: only the signal handler may remove them.
    static SharedMemory region = SharedMemory::create_or_open("Local\\X", 4096);
    static NamedEvent event = NamedEvent::create("Local\\E");
    return region && event && region.map(Access::write, 0);
  });
  ASSERT_TRUE(child.ready());
  ASSERT_TRUE(exists(region_path("X")));
  ASSERT_TRUE(exists(event_path("E")));

  const int status = child.end_with(signal_number);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), signal_number);
  EXPECT_FALSE(exists(region_path("X")));
  EXPECT_FALSE(exists(event_path("E")));
}

INSTANTIATE_TEST_SUITE_P(TerminationRequests, NamesAfterSignal, ::testing::Values(SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == SIGTERM ? std::string("SIGTERM") : std::string("SIGHUP");
                         });

TEST_F(PosixNames, AnIgnoredHangupStaysIgnored) {
  Child child([] {
    ::signal(SIGHUP, SIG_IGN);  // as under nohup
    static SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
    ::raise(SIGHUP);  // delivered before raise returns: the child reports only if it survived
    return static_cast<bool>(region);
  });
  ASSERT_TRUE(child.ready());
  EXPECT_TRUE(exists(region_path("X")));
  const int status = child.end_with(SIGTERM);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_FALSE(exists(region_path("X")));
}

TEST_F(PosixNames, ANameLeftByAKilledProcessIsReusedAsItIs) {
  {
    Child child([] {
      static SharedMemory region = SharedMemory::create_or_open("Local\\X", 5000);
      static NamedEvent event = NamedEvent::create("Local\\E");
      const platform::MappedView view = region.map(Access::write, 0);
      if (!view || !event) return false;
      view.data()[4999] = std::byte{0x42};
      event.signal();
      return true;
    });
    ASSERT_TRUE(child.ready());
    const int status = child.end_with(SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(status));
  }
  ASSERT_TRUE(exists(region_path("X")));
  ASSERT_TRUE(exists(event_path("E")));

  {
    SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
    NamedEvent event = NamedEvent::create("Local\\E");
    ASSERT_TRUE(region);
    ASSERT_TRUE(event);
    const platform::MappedView view = region.map(Access::read, 0);
    ASSERT_TRUE(view);
    EXPECT_EQ(view.size(), 5000u) << "opened as it is, never resized";
    EXPECT_EQ(view.data()[4999], std::byte{0x42});
    EXPECT_TRUE(event.wait(0));
  }
  // It may be another program's name: only its creator removes it (the
  // fixture cleans up here).
  EXPECT_TRUE(exists(region_path("X")));
  EXPECT_TRUE(exists(event_path("E")));
}

TEST_F(PosixNames, ALiveOwnersRegionIsNeverResized) {
  const SharedMemory owner = SharedMemory::create_or_open("Local\\X", 800);
  const SharedMemory opener = SharedMemory::create_or_open("Local\\X", 5000);
  ASSERT_TRUE(owner && opener);
  EXPECT_FALSE(opener.map(Access::write, 5000));
  EXPECT_EQ(opener.map(Access::read, 0).size(), 800u);
}

TEST_F(PosixNames, ANameWhoseOwnerLivesIsNotTakenOver) {
  Child child([] {
    static SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
    static NamedEvent event = NamedEvent::create("Local\\E");
    return region && event;
  });
  ASSERT_TRUE(child.ready());
  {
    const SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
    const NamedEvent event = NamedEvent::create("Local\\E");
    ASSERT_TRUE(region && event);
  }
  EXPECT_TRUE(exists(region_path("X")));
  EXPECT_TRUE(exists(event_path("E")));
  child.end_with(SIGTERM);
  EXPECT_FALSE(exists(region_path("X")));
}

// Runs `body` in a child whose standard output is captured; returns the
// output, and the child's exit status through `status`.
template <typename Body>
std::string run_capturing_output(Body body, int& status) {
  int output[2];
  if (::pipe(output) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(output[0]);
    ::dup2(output[1], STDOUT_FILENO);
    ::close(output[1]);
    ::_exit(body());
  }
  ::close(output[1]);
  std::string captured;
  char buffer[256];
  for (;;) {
    const ssize_t count = ::read(output[0], buffer, sizeof buffer);
    if (count > 0) {
      captured.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(output[0]);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return captured;
}

std::atomic<int> interrupts{0};
void count_interrupt() noexcept { interrupts.fetch_add(1); }
void ignore_interrupt() noexcept {}

TEST(InterruptHandler, WritesTheMessageThenCallsBackAndTheProcessGoesOn) {
  int status = 0;
  const std::string output = run_capturing_output(
      [] {
        if (!platform::install_interrupt_handler("stop now\n", count_interrupt)) return 2;
        // A second registration keeps the first.
        if (!platform::install_interrupt_handler("other\n", ignore_interrupt)) return 3;
        ::raise(SIGINT);
        ::raise(SIGINT);
        return interrupts.load() == 2 ? 0 : 4;
      },
      status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(output, "stop now\nstop now\n");
}

TEST(InterruptHandler, SetsTheStopFlagOfStopSignal) {
  int status = 0;
  const std::string output = run_capturing_output(
      [] {
        const StopSignal stop;
        if (stop.stop_requested()) return 2;
        ::raise(SIGINT);
        return stop.stop_requested() ? 0 : 3;
      },
      status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(output, interrupt_message);
}

TEST(StopSignal, WatchingReadsTheGivenFlag) {
  std::atomic<bool> flag{false};
  const StopSignal stop = StopSignal::watching(flag);
  EXPECT_FALSE(stop.stop_requested());
  flag = true;
  EXPECT_TRUE(stop.stop_requested());
}

}  // namespace
