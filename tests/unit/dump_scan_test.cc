#include "formats/dump_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "formats/dump_format.h"
#include "unit/recorder_test_support.h"

namespace {

std::string header() {
  const auto bytes = encode_dump_header(DumpHeader{5, make_source_id("irac")});
  return std::string(bytes.begin(), bytes.end());
}

// A record's sizes followed by `data`, as the scan sees it.
std::string record(std::uint32_t compressed_size, const std::string& data) {
  const auto sizes = encode_frame_record(FrameRecord{compressed_size, 1000});
  return std::string(sizes.begin(), sizes.end()) + data;
}

std::uint64_t scan(const std::string& bytes) {
  std::istringstream in(bytes);
  return complete_dump_length(in).value();
}

// Delivers `good` bytes, then fails as a broken disk read does.
class FailingReads : public std::streambuf {
 public:
  FailingReads(std::string bytes, std::size_t good) : bytes_(std::move(bytes)), good_(good) {
    setg(bytes_.data(), bytes_.data(), bytes_.data() + good_);
  }

 protected:
  int_type underflow() override { throw std::runtime_error("read error"); }

 private:
  std::string bytes_;
  std::size_t good_;
};

}  // namespace

TEST(DumpScan, CountsTheHeaderAndEveryCompleteRecord) {
  EXPECT_EQ(scan(header()), 72u);
  const std::string two_records = header() + record(3, "abc") + record(0, "") + record(5, "defgh");
  EXPECT_EQ(scan(two_records), two_records.size());
}

TEST(DumpScan, StopsBeforeAPartialRecord) {
  const std::string intact = header() + record(3, "abc");
  EXPECT_EQ(scan(intact + record(5, "de")), intact.size()) << "data cut short";
  EXPECT_EQ(scan(intact + record(5, "").substr(0, 5)), intact.size()) << "sizes cut short";
  EXPECT_EQ(scan(intact + record(0xffffffffu, "xyz")), intact.size()) << "size beyond the end";
}

TEST(DumpScan, AnIncompleteHeaderLeavesNothing) {
  EXPECT_EQ(scan(""), 0u);
  EXPECT_EQ(scan(header().substr(0, 71)), 0u);
}

TEST(DumpScan, GivesNoLengthWhenReadingFails) {
  // A caller that cut at a length found before a read error would destroy
  // records it never saw.
  FailingReads buffer(header() + record(3, "abc") + record(3, "def"), 80);
  std::istream in(&buffer);
  EXPECT_FALSE(complete_dump_length(in).has_value());
}

TEST(DumpScan, ScansAFileByPath) {
  const recorder_test::TempDirectory directory;
  const auto path = directory.path() / "dump.bin";
  const std::string bytes = header() + record(3, "abc") + "\x07";
  {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  EXPECT_EQ(complete_dump_length(path), bytes.size() - 1);
  std::filesystem::remove(path);
  EXPECT_FALSE(complete_dump_length(path).has_value());
}
