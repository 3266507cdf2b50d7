#include "common/replacing_file.h"

#include <gtest/gtest.h>

#include "dump_test_support.h"
#include "error_message.h"

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
  EXPECT_THROW(ReplacingFile(directory.path() / "missing" / "out.bin", ReplacingFile::Existing::replace),
               std::runtime_error);
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
