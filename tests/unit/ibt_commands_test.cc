// dumptool to-ibt and from-ibt on recordings of the stand-in's variables:
// what each writes, that the two give back rows and variable table exactly,
// that damaged input ends with a clear error, exit code 2 and no
// half-written output, and that a command line that cannot be carried out
// as asked (an unsuitable input, an existing OUT) ends with exit code 1.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/byte_coding.h"
#include "console_capture.h"
#include "dump_test_support.h"
#include "dumptool/commands.h"
#include "formats/dump_index.h"
#include "formats/dump_frames.h"
#include "formats/ibt_reader.h"
#include "ibt_test_support.h"

namespace vove {

namespace {

using dump_test::files_in;
using dump_test::TempDirectory;
using ibt_test::standin_recording;
using ibt_test::value_of;
using ibt_test::write_recording;

std::vector<iracing::Snapshot> read_frames(const std::filesystem::path& path, std::int32_t* fps = nullptr) {
  if (fps != nullptr) *fps = static_cast<std::int32_t>(DumpFrames(path).header().fps);
  std::vector<iracing::Snapshot> frames;
  for (const auto& payload : dump_test::frames_of(path)) frames.push_back(iracing::parse_snapshot(payload));
  return frames;
}

struct IbtContents {
  iracing::MemoryHeader header;
  iracing::IbtDiskHeader disk;
  std::vector<iracing::VariableHeader> variables;
  std::string session_info;
  std::vector<std::vector<std::uint8_t>> rows;
};

IbtContents read_ibt(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  iracing::IbtReader reader(in);
  IbtContents contents{reader.header(), reader.disk_header(), reader.variable_headers(), reader.session_info(), {}};
  for (std::uint64_t i = 0; i < reader.row_count(); ++i) reader.read_row(i, contents.rows.emplace_back());
  return contents;
}

class IbtCommands : public testing::Test {
 protected:
  TempDirectory directory;
  std::filesystem::path dump = directory.path() / "vove_dump_2026-12-06-18-42-07.bin";
  std::filesystem::path ibt = directory.path() / "session.ibt";
  std::filesystem::path back = directory.path() / "back.bin";
};

TEST_F(IbtCommands, ToIbtWritesEveryFrameAsARowWithTheLastSessionText) {
  const auto recording = standin_recording(90, 30, {40});
  write_recording(dump, 30, recording.frames);
  const CommandRun result = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "Wrote 90 rows of " + std::to_string(recording.frames[0].variable_headers.size()) +
                            " variables to " + ibt.string() + "\n");

  const IbtContents file = read_ibt(ibt);
  EXPECT_EQ(file.header.tick_rate, 30);
  EXPECT_EQ(file.header.version, 2);
  EXPECT_EQ(file.header.buffer_slots[0].tick_count, 1 + 89 * 2);
  EXPECT_EQ(file.variables, recording.frames[0].variable_headers);
  EXPECT_EQ(file.session_info, recording.last_session_text);
  EXPECT_NE(file.session_info, recording.frames[0].session_info);
  ASSERT_EQ(file.rows.size(), 90u);
  for (std::size_t i = 0; i < file.rows.size(); ++i) ASSERT_EQ(file.rows[i], recording.frames[i].row) << i;
  EXPECT_EQ(file.disk.record_count, 90);
  EXPECT_EQ(file.disk.start_date, 1796582527);  // 2026-12-06 18:42:07 UTC, from the name
  EXPECT_EQ(file.disk.start_time, value_of(recording.frames.front(), "SessionTime"));
  EXPECT_EQ(file.disk.end_time, value_of(recording.frames.back(), "SessionTime"));
  EXPECT_GT(file.disk.end_time, file.disk.start_time);
  EXPECT_EQ(file.disk.lap_count, static_cast<std::int32_t>(value_of(recording.frames.back(), "Lap")));
  EXPECT_EQ(files_in(directory.path()), 2u);
}

TEST_F(IbtCommands, FromIbtGivesBackTheRowsAndTheVariableTableExactly) {
  const auto recording = standin_recording(60, 60);
  write_recording(dump, 60, recording.frames);
  ASSERT_EQ(run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()}).code, 0);
  const CommandRun result = run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string()});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "Wrote 60 frames at 60 fps to " + back.string() + "\n");

  std::int32_t fps = 0;
  const auto frames = read_frames(back, &fps);
  EXPECT_EQ(fps, 60);
  ASSERT_EQ(frames.size(), 60u);
  EXPECT_EQ(frames[0].session_info, recording.last_session_text);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const auto& header = frames[k].header;
    ASSERT_EQ(frames[k].row, recording.frames[k].row) << k;
    ASSERT_EQ(frames[k].variable_headers, recording.frames[k].variable_headers) << k;
    EXPECT_EQ(frames[k].session_info.empty(), k > 0) << k;
    EXPECT_TRUE(header.connected());
    EXPECT_EQ(header.tick_rate, 60);
    EXPECT_EQ(header.session_info_update, 1);
    EXPECT_EQ(header.buffer_count, 3);
    // The row's own SessionTick, in the slot the rotation reached: the newest one.
    EXPECT_EQ(iracing::newest_slot(header), static_cast<int>(k % 3)) << k;
    EXPECT_EQ(header.buffer_slots[k % 3].tick_count,
              static_cast<std::int32_t>(value_of(recording.frames[k], "SessionTick")));
    // Every part lies apart from the others inside the replay's mapping.
    EXPECT_GE(header.session_info_offset, header.variable_header_offset + 144 * header.variable_count);
    EXPECT_GT(header.session_info_length, static_cast<std::int32_t>(recording.last_session_text.size()));
    EXPECT_GE(header.buffer_slots[0].buffer_offset, header.session_info_offset + header.session_info_length);
    EXPECT_GE(header.buffer_slots[1].buffer_offset, header.buffer_slots[0].buffer_offset + header.buffer_length);
    EXPECT_GE(header.buffer_slots[2].buffer_offset, header.buffer_slots[1].buffer_offset + header.buffer_length);
  }
}

TEST_F(IbtCommands, FromIbtAtALowerRateKeepsRowsAtTheRightTimes) {
  write_recording(dump, 60, standin_recording(120, 60).frames);
  ASSERT_EQ(run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()}).code, 0);
  const IbtContents file = read_ibt(ibt);
  for (const auto& [fps, expected_rows] : std::vector<std::pair<int, std::vector<std::size_t>>>{
           {30, {0, 2, 4, 6}}, {20, {0, 3, 6, 9}}, {7, {0, 9, 18, 26, 35}}}) {
    const CommandRun result = run_captured(
        run_from_ibt_command, {ibt.string(), "-o", back.string(), "--fps", std::to_string(fps), "--force"});
    ASSERT_EQ(result.code, 0) << result.err;
    std::int32_t stored_fps = 0;
    const auto frames = read_frames(back, &stored_fps);
    EXPECT_EQ(stored_fps, fps);
    EXPECT_EQ(frames.size(), static_cast<std::size_t>(2 * fps)) << fps;  // two seconds of rows
    for (std::size_t k = 0; k < expected_rows.size(); ++k) EXPECT_EQ(frames[k].row, file.rows[expected_rows[k]]) << fps;
  }
}

TEST_F(IbtCommands, ToIbtStopsAtAFrameThatChangesTheVariableTable) {
  auto recording = standin_recording(10, 30);
  auto& changed = recording.frames[6];
  changed.variable_headers.pop_back();
  changed.header.variable_count -= 1;
  write_recording(dump, 30, recording.frames);
  const CommandRun result = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  EXPECT_EQ(result.code, 2);
  EXPECT_NE(result.err.find("frame 6 "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("variable table"), std::string::npos) << result.err;
  EXPECT_EQ(files_in(directory.path()), 1u);  // nothing written, nothing left over
}

TEST_F(IbtCommands, ToIbtConvertsTheFramesBeforeADamagedOneAndTakesTheTextInForceThere) {
  // The text changes before the damaged frame and after it.
  const auto recording = standin_recording(10, 30, {3, 7});
  write_recording(dump, 30, recording.frames);
  // Spoil the stream of frame 5: its sizes stay plausible, its data does not inflate.
  const auto index = DumpIndex::scan(dump);
  {
    std::fstream file(dump, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(index.records()[5].data_offset() + 20));
    file.write("garbage!garbage!", 16);
  }
  const CommandRun result = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  EXPECT_EQ(result.code, 2);
  EXPECT_NE(result.err.find("frame 5 (record at byte "), std::string::npos) << result.err;
  const IbtContents file = read_ibt(ibt);
  ASSERT_EQ(file.rows.size(), 5u);
  EXPECT_EQ(file.rows[4], recording.frames[4].row);
  EXPECT_EQ(file.session_info, iracing::standin_session_text(2));  // carried by frame 3
  EXPECT_NE(file.session_info, recording.last_session_text);
}

// Spoils the stream of frame `frame`: its sizes stay plausible, its data does not inflate.
void spoil_frame(const std::filesystem::path& dump, std::size_t frame) {
  const auto index = DumpIndex::scan(dump);
  std::fstream file(dump, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(index.records()[frame].data_offset() + 20));
  file.write("garbage!garbage!", 16);
}

TEST_F(IbtCommands, ToIbtKeepsTheLastTextWhenTheDamageComesAfterIt) {
  const auto recording = standin_recording(10, 30, {3});
  write_recording(dump, 30, recording.frames);
  spoil_frame(dump, 6);
  const CommandRun result = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "Wrote 6 rows of " + std::to_string(recording.frames[0].variable_headers.size()) +
                            " variables to " + ibt.string() + "\n");
  EXPECT_NE(result.err.find("frame 6 (record at byte "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("; the 6 frames before it were converted\n"), std::string::npos) << result.err;
  const IbtContents file = read_ibt(ibt);
  ASSERT_EQ(file.rows.size(), 6u);
  EXPECT_EQ(file.session_info, recording.last_session_text);
}

TEST_F(IbtCommands, ToIbtWritesNothingWhenTheFirstFrameIsDamaged) {
  write_recording(dump, 30, standin_recording(4, 30).frames);
  spoil_frame(dump, 0);
  const CommandRun result = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("frame 0 (record at byte "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("; nothing before it to convert"), std::string::npos) << result.err;
  EXPECT_EQ(files_in(directory.path()), 1u);
}

TEST_F(IbtCommands, ToIbtRefusesAnExistingOutputBeforeATableChange) {
  auto recording = standin_recording(8, 30);
  recording.frames[5].variable_headers.pop_back();
  recording.frames[5].header.variable_count -= 1;
  write_recording(dump, 30, recording.frames);
  std::ofstream(ibt, std::ios::binary) << "keep me";
  const CommandRun result = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find(ibt.string()), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("variable table"), std::string::npos) << result.err;
  EXPECT_EQ(std::filesystem::file_size(ibt), 7u);
}

TEST_F(IbtCommands, ToIbtRefusesAnAccRecordingAndTheInputAsOutput) {
  const auto acc = directory.path() / "acc.bin";
  std::ofstream(acc, std::ios::binary) << dump_test::header(30, "accz") << dump_test::record(dump_test::noise(3700));
  const CommandRun acc_result = run_captured(run_to_ibt_command, {acc.string(), "-o", ibt.string()});
  EXPECT_EQ(acc_result.code, 1);
  EXPECT_NE(acc_result.err.find("not an iRacing recording"), std::string::npos) << acc_result.err;

  write_recording(dump, 30, standin_recording(3, 30).frames);
  const auto size = std::filesystem::file_size(dump);
  const CommandRun same = run_captured(run_to_ibt_command, {dump.string(), "-o", dump.string(), "--force"});
  EXPECT_EQ(same.code, 1);
  EXPECT_NE(same.err.find("is the input file"), std::string::npos) << same.err;
  EXPECT_EQ(std::filesystem::file_size(dump), size);
  EXPECT_EQ(files_in(directory.path()), 2u);
}

TEST_F(IbtCommands, FromIbtConvertsTheRowsOfAFileCutShortAndSaysSo) {
  write_recording(dump, 60, standin_recording(20, 60).frames);
  ASSERT_EQ(run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()}).code, 0);
  const IbtContents file = read_ibt(ibt);
  std::filesystem::resize_file(ibt, std::filesystem::file_size(ibt) - file.rows[0].size() * 5 - 100);
  const CommandRun result = run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string()});
  EXPECT_EQ(result.code, 2);
  EXPECT_NE(result.err.find("cut short: it declares 20 rows but holds 14"), std::string::npos) << result.err;
  const auto frames = read_frames(back);
  ASSERT_EQ(frames.size(), 14u);
  EXPECT_EQ(frames[13].row, file.rows[13]);
}

TEST_F(IbtCommands, FromIbtRefusesHostileFilesWithoutWritingAnything) {
  write_recording(dump, 60, standin_recording(4, 60).frames);
  ASSERT_EQ(run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()}).code, 0);
  const std::string good = dump_test::contents(ibt);
  struct Case {
    std::size_t offset;
    std::int32_t value;
    const char* says;
  };
  for (const Case& hostile :
       {Case{24, 0x7fffffff, "declares 2147483647 variables"}, Case{28, 0x7fffff00, "variable headers"},
        Case{36, 0, "row length of 0"}, Case{16, 0x100000, "session text"}, Case{52, 0x7fffff00, "rows begin"},
        Case{8, 0, "tick rate is 0"}}) {
    std::string bytes = good;
    coding::encode_i32(bytes.data() + hostile.offset, hostile.value);
    const auto path = directory.path() / "hostile.ibt";
    std::ofstream(path, std::ios::binary) << bytes;
    const CommandRun result = run_captured(run_from_ibt_command, {path.string(), "-o", back.string()});
    EXPECT_EQ(result.code, 2) << hostile.says;
    EXPECT_NE(result.err.find(hostile.says), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(back)) << hostile.says;
  }
  EXPECT_EQ(files_in(directory.path()), 3u);
}

TEST_F(IbtCommands, CommandLinesThatCannotWork) {
  write_recording(dump, 60, standin_recording(2, 60).frames);
  ASSERT_EQ(run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()}).code, 0);
  EXPECT_EQ(run_captured(run_from_ibt_command, {ibt.string()}).code, 1);
  EXPECT_EQ(run_captured(run_to_ibt_command, {"-o", ibt.string()}).code, 1);
  EXPECT_EQ(run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string(), "--fps", "0"}).code, 1);
  EXPECT_EQ(run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string(), "--fps", "61"}).code, 1);
  EXPECT_EQ(run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string(), "extra"}).code, 1);
  const CommandRun help = run_captured(run_to_ibt_command, {"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("session text in force at the end"), std::string::npos) << help.out;
  const CommandRun missing =
      run_captured(run_from_ibt_command, {(directory.path() / "none.ibt").string(), "-o", back.string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("No such file"), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(back));
}

TEST_F(IbtCommands, AnExistingOutputIsReplacedOnlyWithForce) {
  write_recording(dump, 60, standin_recording(4, 60).frames);
  std::ofstream(ibt, std::ios::binary) << "keep me";
  std::ofstream(back, std::ios::binary) << "keep me too";
  const CommandRun to_refused = run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string()});
  EXPECT_EQ(to_refused.code, 1);
  EXPECT_NE(to_refused.err.find(ibt.string()), std::string::npos) << to_refused.err;
  EXPECT_EQ(std::filesystem::file_size(ibt), 7u);
  EXPECT_EQ(std::filesystem::file_size(back), 11u);

  ASSERT_EQ(run_captured(run_to_ibt_command, {dump.string(), "-o", ibt.string(), "--force"}).code, 0);
  EXPECT_EQ(read_ibt(ibt).rows.size(), 4u);
  const CommandRun again = run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string()});
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.err.find(back.string()), std::string::npos) << again.err;
  EXPECT_EQ(std::filesystem::file_size(back), 11u);
  ASSERT_EQ(run_captured(run_from_ibt_command, {ibt.string(), "-o", back.string(), "--force"}).code, 0);
  EXPECT_EQ(read_frames(back).size(), 4u);
  EXPECT_EQ(files_in(directory.path()), 3u);  // no temporary file left behind
}

}  // namespace

}  // namespace vove
