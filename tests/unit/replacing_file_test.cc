#include "common/replacing_file.h"

#include <gtest/gtest.h>

#include "common/platform/platform.h"
#include "dump_test_support.h"
#include "error_message.h"

namespace vove {

namespace {

using dump_test::contents;
using dump_test::files_in;
using dump_test::TempDirectory;

TEST(ReplacingFile, AppearsOnlyWhenCommittedAndLeavesNothingOtherwise) {
  const TempDirectory directory;
  const auto target = directory.path() / "out.csv";
  {
    ReplacingFile file(target, ReplacingFile::Existing::refuse);
    file.stream() << "half";
    EXPECT_FALSE(std::filesystem::exists(target));
  }  // abandoned, as by an error
  EXPECT_EQ(files_in(directory.path()), 0u);

  ReplacingFile file(target, ReplacingFile::Existing::refuse);
  file.stream() << "whole";
  file.commit();
  EXPECT_EQ(contents(target), "whole");
  EXPECT_EQ(files_in(directory.path()), 1u);
}

TEST(ReplacingFile, RefusesAnExistingFileUnlessToldToReplaceIt) {
  const TempDirectory directory;
  const auto target = directory.path() / "out.bin";
  directory.write("out.bin", "old");
  EXPECT_EQ(message_of([&] { ReplacingFile file(target, ReplacingFile::Existing::refuse); }),
            "The file " + target.string() + " exists already; add --force to replace it");
  {
    ReplacingFile file(target, ReplacingFile::Existing::replace);
    file.stream() << "new";
    EXPECT_EQ(contents(target), "old");  // untouched until the new one is whole
    file.commit();
  }
  EXPECT_EQ(contents(target), "new");
  EXPECT_THROW(ReplacingFile(directory.path(), ReplacingFile::Existing::replace), std::runtime_error);
  // The system's reason follows the name, on every platform.
  const auto unreachable = directory.path() / "missing" / "out.bin";
  const std::string refused = message_of([&] { ReplacingFile file(unreachable, ReplacingFile::Existing::replace); });
  const std::string start = "Failed to create the file " + unreachable.string() + ": ";
  EXPECT_EQ(refused.substr(0, start.size()), start);
  EXPECT_GT(refused.size(), start.size()) << refused;
}

// What makes a finished file durable: the calls succeed on what exists and
// say why on what does not.
TEST(ReplacingFile, FlushesToTheDiskSayWhyTheyFail) {
  const TempDirectory directory;
  directory.write("a.bin", "a");
  platform::Failure failure;
  EXPECT_TRUE(platform::flush_file_to_disk((directory.path() / "a.bin").string(), &failure));
  EXPECT_TRUE(failure.empty());
  EXPECT_TRUE(platform::flush_directory_to_disk(directory.path().string(), &failure));
  EXPECT_TRUE(failure.empty());
  const std::string missing = (directory.path() / "b.bin").string();
  EXPECT_FALSE(platform::flush_file_to_disk(missing, &failure));
  EXPECT_TRUE(failure.missing());
  EXPECT_FALSE(failure.reason.empty());
  EXPECT_EQ(failure.object, "file " + missing);
}

TEST(ReplacingFile, TellsOneFileUnderTwoSpellings) {
  const TempDirectory directory;
  directory.write("a.bin", "a");
  directory.write("b.bin", "b");
  EXPECT_TRUE(is_same_existing_file(directory.path() / "a.bin", directory.path() / "." / "a.bin"));
  EXPECT_FALSE(is_same_existing_file(directory.path() / "a.bin", directory.path() / "b.bin"));
  EXPECT_FALSE(is_same_existing_file(directory.path() / "a.bin", directory.path() / "c.bin"));
}

}  // namespace

}  // namespace vove
