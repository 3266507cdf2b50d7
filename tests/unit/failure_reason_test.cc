// The line that says why, after the line a user already knows: for a failed
// platform call, for a source the system will not let the recorder attach
// to, and for a library's wording that means nothing to the user.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "common/explained_error.h"
#include "common/source_id.h"
#include "dumper/recording_loops.h"
#include "unit/dump_test_support.h"

namespace vove {

namespace {

platform::Failure denied(const std::string& object) {
  platform::Failure failure;
  failure.reason = "Permission denied";
  failure.object = object;
  return failure;
}

// Refuses every connect with the failures given, one per poll; stops the
// wait after the last.
class RefusedSource : public Source {
 public:
  RefusedSource(std::vector<platform::Failure> failures, std::atomic<bool>& stop)
      : failures_(std::move(failures)), stop_(stop) {}
  bool connect(std::chrono::milliseconds) override {
    last_ = failures_.at(next_++);
    if (next_ == failures_.size()) stop_ = true;
    return false;
  }
  void disconnect() override {}
  FramePayload read_frame(std::chrono::milliseconds) override { return {}; }
  SourceId source_id() const override { return make_source_id("irac"); }
  platform::Failure attach_failure() const override { return last_; }

 private:
  std::vector<platform::Failure> failures_;
  std::size_t next_ = 0;
  platform::Failure last_;
  std::atomic<bool>& stop_;
};

}  // namespace

TEST(FailureReason, FollowsTheErrorLineAndOnlyWhenThereIsOne) {
  std::ostringstream out;
  report_error(out, platform_error("Failed to map view", denied("shared memory /dev/shm/x")));
  report_error(out, std::runtime_error("Failed to map view"));
  report_error(out, platform_error("Failed to create file mapping", platform::Failure()));
  report_error(out, ExplainedError<std::out_of_range>("invalid map<K, T> key", "In the user's terms."));
  EXPECT_EQ(out.str(),
            "An error occurred: Failed to map view\n"
            "Reason: Permission denied (shared memory /dev/shm/x)\n"
            "An error occurred: Failed to map view\n"
            "An error occurred: Failed to create file mapping\n"
            "An error occurred: invalid map<K, T> key\n"
            "In the user's terms.\n");
  // Still caught as the standard error it always was.
  EXPECT_THROW(throw ExplainedError<std::out_of_range>("x", "y"), std::out_of_range);
}

TEST(FailureReason, SourceIdsShowEveryByte) {
  EXPECT_EQ(source_id_text(make_source_id("irac"), SourceIdStyle::quoted), "\"irac\"");
  EXPECT_EQ(source_id_text(SourceId{'a', '\0', '"', '\xff'}, SourceIdStyle::quoted), "\"a\\x00\\x22\\xff\"");
}

TEST(FailureReason, SourceIdsAsStoredAndPrintable) {
  const SourceId odd{'a', '\0', '\x7f', '\xff'};
  EXPECT_EQ(source_id_text(odd, SourceIdStyle::as_stored), std::string("a\0\x7f\xff", 4));
  EXPECT_EQ(source_id_text(odd, SourceIdStyle::printable), "a???");
  EXPECT_EQ(source_id_text(make_source_id("accz"), SourceIdStyle::printable), "accz");
}

// Said once while the reason stays the same, again when it changes; a
// source that is merely absent says nothing.
TEST(FailureReason, ARefusedSourceIsReportedOncePerReason) {
  std::atomic<bool> stop{false};
  platform::Failure absent = denied("shared memory /dev/shm/x");
  absent.code = std::make_error_code(std::errc::no_such_file_or_directory);
  const auto source = std::make_shared<RefusedSource>(
      std::vector<platform::Failure>{platform::Failure(), absent, denied("shared memory /dev/shm/x"),
                                     denied("shared memory /dev/shm/x"), denied("event /dev/shm/sem.y"),
                                     platform::Failure()},
      stop);
  const SourceList sources{source};
  std::shared_ptr<Source> active;
  std::ostringstream console;
  EXPECT_FALSE(wait_for_connection(
      StopSignal::watching(stop), WaitContext{&sources, &active}, 1.0, dump_test::stepping_clock(1'000'000),
      [](std::chrono::milliseconds) {}, console));
  EXPECT_EQ(console.str(),
            "Cannot attach to irac: Permission denied (shared memory /dev/shm/x)\n"
            "Cannot attach to irac: Permission denied (event /dev/shm/sem.y)\n");
}

}  // namespace vove
