// The .ibt writer lays a file out where the format puts each part; the
// reader takes it back, and refuses files whose fields would make it read
// outside the file or allocate without bound.
#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <limits>
#include <sstream>

#include "common/byte_coding.h"
#include "formats/dump_file_name.h"
#include "formats/ibt_reader.h"
#include "formats/ibt_writer.h"
#include "iracing_test_support.h"

namespace vove {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view text = "WeekendInfo:\n TrackName: test ring\n";

struct WrittenFile {
  std::string bytes;
  std::vector<Bytes> rows;
};

// Three variable headers, `rows` rows of 64 bytes, finished with a known
// sub-header.
WrittenFile write_file(int rows) {
  std::stringstream out;
  iracing::MemoryHeader header = iracing_test::sample_header();
  header.tick_rate = 60;
  const std::vector<iracing::VariableHeader> variables{iracing_test::sample_entry(0), iracing_test::sample_entry(1),
                                                       iracing_test::sample_entry(2)};
  iracing::IbtWriter writer(out, header, variables, text, 64);
  WrittenFile file;
  for (int i = 0; i < rows; ++i) {
    file.rows.push_back(iracing_test::sample_row(i + 1));
    writer.append_row(file.rows.back());
  }
  writer.finish(iracing::IbtDiskHeader{1796582527, 12.5, 20.25, 3, 0}, rows);
  file.bytes = out.str();
  return file;
}

std::int32_t i32_at(const std::string& bytes, std::size_t offset) { return coding::decode_i32(bytes.data() + offset); }

TEST(IbtWriter, PutsEachPartWhereTheFormatSays) {
  const WrittenFile file = write_file(4);
  const std::string& bytes = file.bytes;
  constexpr std::size_t text_at = 144 + 3 * 144;
  constexpr std::size_t rows_at = text_at + text.size() + 1;
  ASSERT_EQ(bytes.size(), rows_at + 4 * 64);
  EXPECT_EQ(i32_at(bytes, 0), 2);                               // version
  EXPECT_EQ(i32_at(bytes, 8), 60);                              // tick rate
  EXPECT_EQ(i32_at(bytes, 16), static_cast<int>(text.size()));  // session text length; a zero follows
  EXPECT_EQ(i32_at(bytes, 20), static_cast<int>(text_at));
  EXPECT_EQ(i32_at(bytes, 24), 3);    // variables
  EXPECT_EQ(i32_at(bytes, 28), 144);  // variable headers
  EXPECT_EQ(i32_at(bytes, 32), 1);    // one buffer
  EXPECT_EQ(i32_at(bytes, 36), 64);
  EXPECT_EQ(i32_at(bytes, 48), 4);  // slot 0: newest tick, then where the rows begin
  EXPECT_EQ(i32_at(bytes, 52), static_cast<int>(rows_at));
  for (std::size_t slot_byte = 56; slot_byte < 112; ++slot_byte) EXPECT_EQ(bytes[slot_byte], 0) << slot_byte;
  // Sub-header.
  EXPECT_EQ(static_cast<std::int64_t>(coding::decode_u64(bytes.data() + 112)), 1796582527);
  EXPECT_EQ(std::bit_cast<double>(coding::decode_u64(bytes.data() + 120)), 12.5);
  EXPECT_EQ(std::bit_cast<double>(coding::decode_u64(bytes.data() + 128)), 20.25);
  EXPECT_EQ(i32_at(bytes, 136), 3);  // laps
  EXPECT_EQ(i32_at(bytes, 140), 4);  // records: the rows written, whatever finish() was given
  EXPECT_EQ(
      bytes.compare(144 + 144, 144, reinterpret_cast<const char*>(iracing_test::sample_entry(1).bytes.data()), 144), 0);
  EXPECT_EQ(bytes.substr(text_at, text.size()), text);
  EXPECT_EQ(bytes[text_at + text.size()], '\0');
  EXPECT_EQ(bytes.substr(rows_at + 3 * 64, 64), std::string(file.rows[3].begin(), file.rows[3].end()));
}

TEST(IbtReader, ReadsBackWhatTheWriterWrote) {
  const WrittenFile file = write_file(5);
  std::istringstream in(file.bytes);
  iracing::IbtReader reader(in);
  EXPECT_EQ(reader.header().tick_rate, 60);
  EXPECT_EQ(reader.disk_header(), (iracing::IbtDiskHeader{1796582527, 12.5, 20.25, 3, 5}));
  EXPECT_EQ(reader.session_info(), text);
  ASSERT_EQ(reader.variable_headers().size(), 3u);
  EXPECT_EQ(reader.variable_headers()[2], iracing_test::sample_entry(2));
  ASSERT_EQ(reader.row_count(), 5u);
  EXPECT_FALSE(reader.cut_short());
  Bytes row;
  for (std::uint64_t i : {0u, 1u, 4u, 2u}) {  // in order, then out of order
    reader.read_row(i, row);
    EXPECT_EQ(row, file.rows[i]) << i;
  }
}

TEST(IbtReader, AFileCutShortHandsOutTheRowsItHolds) {
  WrittenFile file = write_file(5);
  file.bytes.resize(file.bytes.size() - 64 - 10);
  std::istringstream in(file.bytes);
  iracing::IbtReader reader(in);
  EXPECT_EQ(reader.row_count(), 3u);
  EXPECT_TRUE(reader.cut_short());
  Bytes row;
  reader.read_row(2, row);
  EXPECT_EQ(row, file.rows[2]);
}

TEST(IbtReader, ASessionTextEndsAtItsFirstZero) {
  WrittenFile file = write_file(1);
  const std::size_t text_at = static_cast<std::size_t>(i32_at(file.bytes, 20));
  file.bytes[text_at + 5] = '\0';
  std::istringstream in(file.bytes);
  EXPECT_EQ(iracing::IbtReader(in).session_info(), text.substr(0, 5));
}

struct Hostile {
  const char* name;
  std::function<void(std::string&)> damage;
};

void put_i32(std::string& bytes, std::size_t offset, std::int32_t value) {
  coding::encode_i32(bytes.data() + offset, value);
}

const Hostile hostile_files[] = {
    {"variable_count_2_pow_31_minus_1",
     [](std::string& b) { put_i32(b, 24, std::numeric_limits<std::int32_t>::max()); }},
    {"variable_count_negative", [](std::string& b) { put_i32(b, 24, std::numeric_limits<std::int32_t>::min()); }},
    {"variable_count_past_the_end", [](std::string& b) { put_i32(b, 24, 1000); }},
    {"variable_headers_past_the_end", [](std::string& b) { put_i32(b, 28, 0x7ffffff0); }},
    {"variable_headers_before_the_start", [](std::string& b) { put_i32(b, 28, -144); }},
    {"row_length_zero", [](std::string& b) { put_i32(b, 36, 0); }},
    {"row_length_negative", [](std::string& b) { put_i32(b, 36, -64); }},
    {"row_length_2_pow_31_minus_1", [](std::string& b) { put_i32(b, 36, std::numeric_limits<std::int32_t>::max()); }},
    {"buffer_count_zero", [](std::string& b) { put_i32(b, 32, 0); }},
    {"buffer_count_2_pow_31_minus_1", [](std::string& b) { put_i32(b, 32, std::numeric_limits<std::int32_t>::max()); }},
    {"session_text_longer_than_the_file", [](std::string& b) { put_i32(b, 16, 1 << 20); }},
    {"session_text_2_pow_31_minus_1", [](std::string& b) { put_i32(b, 16, std::numeric_limits<std::int32_t>::max()); }},
    {"session_text_past_the_end", [](std::string& b) { put_i32(b, 20, 0x7fffff00); }},
    {"rows_past_the_end", [](std::string& b) { put_i32(b, 52, 0x7fffff00); }},
    {"rows_before_the_start", [](std::string& b) { put_i32(b, 52, -1); }},
    {"record_count_negative", [](std::string& b) { put_i32(b, 140, -5); }},
    {"shorter_than_its_headers", [](std::string& b) { b.resize(143); }},
    {"empty", [](std::string& b) { b.clear(); }},
};

class IbtReaderRefuses : public testing::TestWithParam<Hostile> {};

TEST_P(IbtReaderRefuses, AHostileFileWithAClearMessage) {
  std::string bytes = write_file(2).bytes;
  GetParam().damage(bytes);
  std::istringstream in(bytes);
  try {
    iracing::IbtReader reader(in);
    FAIL() << "accepted";
  } catch (const iracing::IbtFormatError& error) {
    EXPECT_GT(std::string(error.what()).size(), 20u) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, IbtReaderRefuses, testing::ValuesIn(hostile_files),
                         [](const auto& info) { return std::string(info.param.name); });

// No variables is the smallest table there is, not a damage.
TEST(IbtReader, AFileWithoutVariablesIsRead) {
  WrittenFile file = write_file(2);
  put_i32(file.bytes, 24, 0);
  std::istringstream in(file.bytes);
  const iracing::IbtReader reader(in);
  EXPECT_TRUE(reader.variable_headers().empty());
  EXPECT_EQ(reader.row_count(), 2u);
}

TEST(IbtReader, ARecordCountOf2Pow31MinusOneIsCappedByTheFile) {
  std::string bytes = write_file(2).bytes;
  put_i32(bytes, 140, std::numeric_limits<std::int32_t>::max());
  std::istringstream in(bytes);
  iracing::IbtReader reader(in);
  EXPECT_EQ(reader.row_count(), 2u);
  EXPECT_TRUE(reader.cut_short());
}

TEST(RecordingStartFromFileName, ReadsTheRecordersNamesOnly) {
  using std::chrono::sys_seconds;
  EXPECT_EQ(recording_start_from_file_name("vove_dump_2026-12-06-18-42-07.bin"),
            sys_seconds{std::chrono::seconds{1796582527}});
  EXPECT_EQ(recording_start_from_file_name("vove_dump_2024-02-29-00-00-59_12.bin"),
            sys_seconds{std::chrono::seconds{1709164859}});
  EXPECT_EQ(recording_start_from_file_name("vove_dump_2026-12-31-23-59-59.bin"),
            sys_seconds{std::chrono::seconds{1798761599}});
  for (const char* name :
       {"vove_dump_2026-02-30-18-42-07.bin", "vove_dump_2026-12-06-24-00-00.bin", "vove_dump_2026-12-06-18-60-07.bin",
        "vove_dump_2026-12-06-18-42-60.bin", "vove_dump_2026-12-06-18-42-07_.bin", "vove_dump_2026-12-06-18-42-07x.bin",
        "vove_dump_2026-12-06-18-42.bin", "dump_2026-12-06-18-42-07.bin", "vove_dump_2026-12-06-18-42-07.ibt",
        "vove_dump_2026+12-06-18-42-07.bin"}) {
    EXPECT_FALSE(recording_start_from_file_name(name).has_value()) << name;
  }
}

}  // namespace

}  // namespace vove
