// What the POSIX backend adds to the platform layer: where the names
// appear, who removes them and when, and the SIGINT handler.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "common/platform/platform.h"
#include "common/stop_signal.h"
#include "scoped_name_prefix.h"

namespace {

using namespace platform;

// A forked child that runs `body` with its standard output captured, writes
// 'y' or 'n' for the body's result and then waits to be signalled. Ended
// with SIGKILL if the test does not end it.
class Child {
 public:
  template <typename Body>
  explicit Child(Body body) {
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(pipe_ends[1], STDOUT_FILENO);
      ::close(pipe_ends[0]);
      ::close(pipe_ends[1]);
      const char verdict = body() ? 'y' : 'n';
      if (::write(STDOUT_FILENO, &verdict, 1) != 1) ::_exit(3);
      ::close(STDOUT_FILENO);  // the end of the output for the parent
      for (;;) ::pause();
    }
    ::close(pipe_ends[1]);
    // A failed read cuts the output short, which the test then sees.
    for (char c; ::read(pipe_ends[0], &c, 1) == 1;) output_ += c;
    ::close(pipe_ends[0]);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { end_with(SIGKILL); }

  const std::string& output() const { return output_; }
  // Sends `signal_number`, reaps the child and returns the signal that ended it.
  int end_with(int signal_number) {
    if (pid_ <= 0) return 0;
    ::kill(pid_, signal_number);
    int status = 0;
    // A child that outlives the signal fails the test instead of hanging it.
    for (int waited_ms = 0; ::waitpid(pid_, &status, WNOHANG) == 0; ++waited_ms) {
      if (waited_ms == 10'000) ::kill(pid_, SIGKILL);
      ::usleep(1000);
    }
    pid_ = -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }

 private:
  pid_t pid_ = -1;
  std::string output_;
};

class PosixPlatform : public ::testing::Test {
 protected:
  ~PosixPlatform() override {
    ::unlink(region_path().c_str());
    ::unlink(event_path().c_str());
  }
  std::string region_path() const { return "/dev/shm/" + prefix_.prefix() + "X"; }
  std::string event_path() const { return "/dev/shm/sem." + prefix_.prefix() + "E"; }
  // The permission bits of `path`, or -1 when there is no such file.
  static int mode(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 0777) : -1;
  }

  ScopedNamePrefix prefix_;
};

// Only the creator removes a name: on release, or from its SIGTERM or SIGHUP
// handler. A SIGKILLed creator leaves it behind, and the next creator takes
// it over as it is and leaves it too: it may be another program's.
TEST_F(PosixPlatform, NamesGoWithTheirCreatorUnlessItIsKilledOutright) {
  for (const int signal_number : {SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(signal_number);
    Child creator([] {
      static const SharedMemory region = SharedMemory::create_or_open("Local\\X", 5000);
      static const NamedEvent event = NamedEvent::create("Local\\E");
      const MappedView view = region.map(Access::write, 0);
      if (!view || !event) return false;
      view.data()[4999] = std::byte{0x42};
      event.signal();
      return true;
    });
    ASSERT_EQ(creator.output(), "y");
    const SharedMemory reader = SharedMemory::open_existing("Local\\X", Access::read);
    const MappedView view = reader.map(Access::read, 0);
    ASSERT_TRUE(view);
    EXPECT_EQ(creator.end_with(signal_number), signal_number);
    if (signal_number == SIGKILL) {
      const SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
      const NamedEvent event = NamedEvent::create("Local\\E");
      ASSERT_TRUE(region && event);
      EXPECT_EQ(region.map(Access::read, 0).size(), 5000u);
      EXPECT_TRUE(event.wait(0)) << "the creator's signal";
    }
    const int left_mode = signal_number == SIGKILL ? 0600 : -1;  // for the user only
    EXPECT_EQ(mode(region_path()), left_mode);
    EXPECT_EQ(mode(event_path()), left_mode);
    EXPECT_EQ(view.data()[4999], std::byte{0x42}) << "a view outlives the name";
  }
}

TEST_F(PosixPlatform, AnIgnoredHangupStaysIgnored) {
  Child creator([] {
    ::signal(SIGHUP, SIG_IGN);  // as under nohup
    static const SharedMemory region = SharedMemory::create_or_open("Local\\X", 64);
    ::raise(SIGHUP);  // delivered before raise returns: the verdict comes only if the child survived
    return static_cast<bool>(region);
  });
  EXPECT_EQ(creator.output(), "y");
  EXPECT_EQ(creator.end_with(SIGTERM), SIGTERM);
  EXPECT_EQ(mode(region_path()), -1);
}

TEST(InterruptHandler, WritesTheMessageSetsTheStopFlagAndTheProcessGoesOn) {
  Child child([] {
    const StopSignal stop;
    ::raise(SIGINT);
    ::raise(SIGINT);
    return stop.stop_requested();
  });
  EXPECT_EQ(child.output(), std::string(interrupt_message) + std::string(interrupt_message) + "y");
}

}  // namespace
