#include "common/replacing_file.h"

#include <gtest/gtest.h>

#include "dump_test_support.h"

namespace {

using dump_test::TempDirectory;

std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t files_in(const std::filesystem::path& directory) {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(directory), std::filesystem::directory_iterator()));
}

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
  try {
    ReplacingFile file(target, ReplacingFile::Existing::refuse);
    FAIL();
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), "The file " + target.string() + " exists already; add --force to replace it");
  }
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
