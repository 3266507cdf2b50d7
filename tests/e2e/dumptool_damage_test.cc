// dumptool on damaged, hostile and unusual files, and the safety of its
// outputs: exit codes, messages, what is still done, and files that are
// never half-written nor overwritten by surprise.
#include <gtest/gtest.h>

#include <fstream>

#include "../unit/iracing_test_support.h"
#include "e2e_support.h"
#include "formats/dump_index.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"

namespace vove {

namespace {

std::vector<std::vector<std::uint8_t>> ten_frames() {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int tick = 1; tick <= 10; ++tick) {
    frames.push_back(make_iracing_payload(tick, 512 + static_cast<std::size_t>(tick), static_cast<std::uint8_t>(tick)));
  }
  return frames;
}

void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(DumptoolRepair, KeepsEveryRecordThatInflatesByteForByte) {
  E2eSandbox sandbox("dumptool_repair");
  const auto intact = sandbox.directory() / "intact.bin";
  write_dump(intact, 30, make_source_id("irac"), ten_frames());
  const std::string bytes = read_file(intact);
  std::ifstream in(intact, std::ios::binary);
  const auto index = DumpIndex::scan(in);
  ASSERT_EQ(index.records().size(), 10u);
  const auto& records = index.records();

  // Intact: the same file again.
  const RunResult same = run_dumptool(sandbox, {"repair", "intact.bin", "-o", "same.bin"});
  EXPECT_EQ(same.status.code, 0) << same.error;
  EXPECT_EQ(read_file(sandbox.directory() / "same.bin"), bytes);
  EXPECT_TRUE(contains(same.output, "the file was intact")) << same.output;

  // Cut short inside record 7: records 0 to 6 are kept.
  write_bytes(sandbox.directory() / "short.bin", bytes.substr(0, records[7].data_offset() + 5));
  const RunResult cut_short = run_dumptool(sandbox, {"repair", "short.bin", "-o", "short_repaired.bin"});
  EXPECT_EQ(cut_short.status.code, 2);
  EXPECT_EQ(read_file(sandbox.directory() / "short_repaired.bin"), bytes.substr(0, records[7].offset));
  EXPECT_TRUE(contains(cut_short.output, "Dropped the end of the file from byte " + std::to_string(records[7].offset)))
      << cut_short.output;

  // A stream damaged in the middle: only record 4 is dropped.
  std::string damaged = bytes;
  for (auto at = records[4].data_offset(); at < records[4].end_offset(); ++at) damaged[at] = '\x5a';
  write_bytes(sandbox.directory() / "damaged.bin", damaged);
  const RunResult middle = run_dumptool(sandbox, {"repair", "damaged.bin", "-o", "damaged_repaired.bin"});
  EXPECT_EQ(middle.status.code, 2);
  EXPECT_TRUE(contains(middle.output, "Dropped frame 4 (record at byte " + std::to_string(records[4].offset)))
      << middle.output;
  EXPECT_EQ(read_file(sandbox.directory() / "damaged_repaired.bin"),
            bytes.substr(0, records[4].offset) + bytes.substr(records[5].offset));
  const DumpContents repaired = read_dump(sandbox.directory() / "damaged_repaired.bin");
  EXPECT_EQ(repaired.frames.size(), 9u);

  // info finds the same damage, by frame and offset.
  const RunResult info = run_dumptool(sandbox, {"info", "damaged.bin"});
  EXPECT_EQ(info.status.code, 2);
  EXPECT_TRUE(contains(info.output, "Damage:          frame 4 (record at byte " + std::to_string(records[4].offset)))
      << info.output;
}

TEST(DumptoolOutput, NeverReplacesTheInputNorAnExistingFileUnasked) {
  E2eSandbox sandbox("dumptool_output");
  const auto input = sandbox.directory() / "input.bin";
  write_dump(input, 30, make_source_id("irac"), ten_frames());
  const std::string bytes = read_file(input);

  const RunResult onto_itself = run_dumptool(sandbox, {"repair", "input.bin", "-o", "./input.bin", "--force"});
  EXPECT_EQ(onto_itself.status.code, 1);
  EXPECT_TRUE(contains(onto_itself.error, "is the input file")) << onto_itself.error;
  EXPECT_EQ(read_file(input), bytes);

  write_bytes(sandbox.directory() / "taken.bin", "keep me");
  const RunResult refused = run_dumptool(sandbox, {"cut", "input.bin", "--to", "0.1", "-o", "taken.bin"});
  EXPECT_EQ(refused.status.code, 1);
  EXPECT_TRUE(contains(refused.error, "exists already; add --force")) << refused.error;
  EXPECT_EQ(read_file(sandbox.directory() / "taken.bin"), "keep me");
  const RunResult forced = run_dumptool(sandbox, {"cut", "input.bin", "--to", "0.1", "-o", "taken.bin", "--force"});
  EXPECT_EQ(forced.status.code, 0) << forced.error;
  EXPECT_EQ(read_dump(sandbox.directory() / "taken.bin").frames.size(), 3u);
  EXPECT_TRUE(other_files(sandbox, {"input.bin", "taken.bin"}).empty());
}

TEST(DumptoolOutput, AFullDiskLeavesNoFileBehind) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the file size limit is a POSIX shell feature";
  E2eSandbox sandbox("dumptool_full_disk");
  std::vector<std::vector<std::uint8_t>> frames;
  std::uint32_t seed = 1;
  for (int tick = 1; tick <= 100; ++tick) {
    frames.push_back(make_iracing_payload(tick, 4096, 7));
    // Rows that do not compress, so that the copy outgrows the limit.
    for (auto it = frames.back().end() - 4096; it != frames.back().end(); ++it) {
      *it = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    }
  }
  write_dump(sandbox.directory() / "input.bin", 30, make_source_id("irac"), frames);
  // A 16 KiB limit stands in for a full disk.
  auto process = start_with_limits(sandbox, "dumptool", "-f 32", {"repair", "input.bin", "-o", "out.bin"});
  const auto status = process->wait_for_exit(std::chrono::seconds(60));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 1);
  EXPECT_TRUE(contains(process->standard_error(), "Failed to write the file out.bin")) << process->standard_error();
  EXPECT_TRUE(other_files(sandbox, {"input.bin"}).empty());
}

TEST(DumptoolDamagedInput, ExitCodeTwoWithAClearMessageAndTheRestDone) {
  E2eSandbox sandbox("dumptool_hostile");
  const auto& dir = sandbox.directory();

  write_bytes(dir / "garbage.bin", std::string(500, 'x'));
  const RunResult garbage = run_dumptool(sandbox, {"info", "garbage.bin"});
  EXPECT_EQ(garbage.status.code, 2);
  EXPECT_TRUE(contains(garbage.error, "garbage.bin is not a recording")) << garbage.error;

  const RunResult missing = run_dumptool(sandbox, {"vars", "missing.bin"});
  EXPECT_EQ(missing.status.code, 1);
  EXPECT_TRUE(contains(missing.error, "Failed to open the file missing.bin: No such file or directory"))
      << missing.error;

  // Record 2's sizes claim an inflated size no stream of its length can reach.
  write_dump(dir / "sizes.bin", 30, make_source_id("irac"), ten_frames());
  std::string sizes = read_file(dir / "sizes.bin");
  std::ifstream in(dir / "sizes.bin", std::ios::binary);
  const auto offset = DumpIndex::scan(in).records()[2].offset;
  sizes.replace(offset + 4, 4, std::string("\xff\xff\xff\x7f", 4));
  write_bytes(dir / "sizes.bin", sizes);
  const RunResult impossible = run_dumptool(sandbox, {"csv", "sizes.bin", "-o", "sizes.csv"});
  EXPECT_EQ(impossible.status.code, 2);
  EXPECT_TRUE(contains(impossible.error, "damaged from byte " + std::to_string(offset))) << impossible.error;
  const std::string sizes_csv = read_file(dir / "sizes.csv");
  EXPECT_EQ(std::count(sizes_csv.begin(), sizes_csv.end(), '\n'), 3);  // what could be read is written

  // A frame that declares two billion variable headers, between good ones.
  auto frames = ten_frames();
  iracing::Snapshot huge = iracing::parse_snapshot(frames[5]);
  auto bytes = iracing::serialise_snapshot(huge);
  bytes[24] = 0xff, bytes[25] = 0xff, bytes[26] = 0xff, bytes[27] = 0x7f;  // variable_count
  frames[5] = bytes;
  write_dump(dir / "count.bin", 30, make_source_id("irac"), frames);
  const RunResult count = run_dumptool(sandbox, {"info", "count.bin"});
  EXPECT_EQ(count.status.code, 2);
  EXPECT_TRUE(contains(count.output, "Damage:          frame 5 ")) << count.output;
  EXPECT_TRUE(contains(count.output, "Frames:          10")) << count.output;
  const RunResult count_csv = run_dumptool(sandbox, {"csv", "count.bin"});
  EXPECT_EQ(count_csv.status.code, 2);
  EXPECT_TRUE(contains(count_csv.error, "frame 5 (record at byte")) << count_csv.error;
  EXPECT_EQ(std::count(count_csv.output.begin(), count_csv.output.end(), '\n'), 10);  // header and 9 frames

  // A variable that claims to lie past the end of the row.
  iracing::Snapshot outside = iracing::parse_snapshot(ten_frames()[0]);
  outside.variable_headers = {iracing_test::variable("Inside", iracing::VariableType::integer, 0),
                              iracing_test::variable("Outside", iracing::VariableType::float64, 100000)};
  outside.header.variable_count = 2;
  write_dump(dir / "outside.bin", 30, make_source_id("irac"), {iracing::serialise_snapshot(outside)});
  const RunResult outside_csv = run_dumptool(sandbox, {"csv", "outside.bin"});
  EXPECT_EQ(outside_csv.status.code, 2);
  EXPECT_TRUE(contains(outside_csv.error, "variable 'Outside' does not lie within the data row")) << outside_csv.error;
  EXPECT_EQ(outside_csv.output, "seconds,tick,Inside\n0,1,16843009\n");  // carriage returns removed

  // Nothing but a header: info works, csv has nothing to write.
  write_dump(dir / "empty.bin", 30, make_source_id("irac"), {});
  const RunResult empty_info = run_dumptool(sandbox, {"info", "empty.bin"});
  EXPECT_EQ(empty_info.status.code, 0) << empty_info.error;
  EXPECT_TRUE(contains(empty_info.output, "Frames:          0")) << empty_info.output;
  const RunResult empty_csv = run_dumptool(sandbox, {"csv", "empty.bin"});
  EXPECT_EQ(empty_csv.status.code, 1);
  EXPECT_TRUE(contains(empty_csv.error, "holds no frames")) << empty_csv.error;
}

TEST(DumptoolAcc, CsvReadsPagesOfNoZeroByteAndTheRestWorks) {
  E2eSandbox sandbox("dumptool_acc");
  std::vector<std::vector<std::uint8_t>> frames(20, std::vector<std::uint8_t>(3700, 1));
  write_dump(sandbox.directory() / "acc.bin", 10, make_source_id("accz"), frames);

  // Every unit is U+0101 and no text ends: each is read to its field's end.
  const RunResult csv =
      run_dumptool(sandbox, {"csv", "acc.bin", "--vars", "graphics.packetId,static.track", "--to", "0.1"});
  EXPECT_EQ(csv.status.code, 0) << csv.error;
  std::string track;
  for (int i = 0; i < 33; ++i) track += "\xc4\x81";
  EXPECT_EQ(csv.output, "seconds,graphics.packetId,static.track\n0,16843009," + track + "\n");
  const RunResult info = run_dumptool(sandbox, {"info", "acc.bin"});
  EXPECT_EQ(info.status.code, 0) << info.error;
  EXPECT_TRUE(contains(info.output, "Source:          accz (ACC)")) << info.output;
  const RunResult cut = run_dumptool(sandbox, {"cut", "acc.bin", "--from", "0.5", "--to", "1.5", "-o", "part.bin"});
  EXPECT_EQ(cut.status.code, 0) << cut.error;
  EXPECT_EQ(read_dump(sandbox.directory() / "part.bin").frames, std::vector<std::vector<std::uint8_t>>(10, frames[0]));
  const RunResult bad_line = run_dumptool(sandbox, {"cut", "acc.bin", "--from", "-1", "-o", "x.bin"});
  EXPECT_EQ(bad_line.status.code, 1);
  const RunResult no_output = run_dumptool(sandbox, {"cut", "acc.bin"});
  EXPECT_EQ(no_output.status.code, 1);
  EXPECT_TRUE(contains(no_output.error, "output")) << no_output.error;
}

}  // namespace

}  // namespace vove
