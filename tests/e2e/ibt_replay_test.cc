// A .ibt file replayed as live telemetry: dumptool to-ibt writes one from a
// recording of the stand-in's variables, dumptool from-ibt turns it back
// into a recording, emulator replays that, and dumper records the replay.
// Every row dumper sees must be a row of the .ibt file, byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>

#include "../unit/ibt_test_support.h"
#include "e2e_support.h"
#include "formats/ibt_reader.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

std::int32_t session_tick(const iracing::Snapshot& frame) {
  return static_cast<std::int32_t>(ibt_test::value_of(frame, "SessionTick"));
}

// As every command that writes a file: a failed write is exit code 1, says
// so, and leaves nothing behind.
TEST(IbtReplay, AFullDiskLeavesNoFileBehind) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the file size limit is a POSIX shell feature";
  E2eSandbox sandbox("ibt_full_disk");
  ibt_test::write_recording(sandbox.directory() / "original.bin", 60, ibt_test::standin_recording(30, 60).frames);
  // A 512-byte limit stands in for a full disk.
  auto process = start_with_limits(sandbox, "dumptool", "-f 1", {"to-ibt", "original.bin", "-o", "session.ibt"});
  const auto status = process->wait_for_exit(std::chrono::seconds(60));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 1);
  EXPECT_NE(process->standard_error().find("Failed to write the file session.ibt"), std::string::npos)
      << process->standard_error();
  EXPECT_EQ(other_files(sandbox, {"original.bin"}), std::vector<std::string>{});
}

TEST(IbtReplay, DumperRecordsTheRowsOfTheIbtFile) {
  E2eSandbox sandbox("ibt_replay");
  const auto recording = ibt_test::standin_recording(180, 60, {90});
  ibt_test::write_recording(sandbox.directory() / "original.bin", 60, recording.frames);

  const RunResult to_ibt = run_to_end(sandbox, "dumptool", {"to-ibt", "original.bin", "-o", "session.ibt"}, "to-ibt");
  ASSERT_EQ(to_ibt.status.code, 0) << to_ibt.error;
  const RunResult from_ibt =
      run_to_end(sandbox, "dumptool", {"from-ibt", "session.ibt", "-o", "replay.bin"}, "from-ibt");
  ASSERT_EQ(from_ibt.status.code, 0) << from_ibt.error;
  EXPECT_EQ(from_ibt.output, "Wrote 180 frames at 60 fps to replay.bin\n");

  // The .ibt's rows by their SessionTick, which from-ibt publishes as the tick.
  std::map<std::int32_t, std::vector<std::uint8_t>> ibt_rows;
  std::string ibt_session_text;
  {
    std::ifstream in(sandbox.directory() / "session.ibt", std::ios::binary);
    iracing::IbtReader reader(in);
    ibt_session_text = reader.session_info();
    for (std::uint64_t i = 0; i < reader.row_count(); ++i) {
      std::vector<std::uint8_t> row;
      reader.read_row(i, row);
      ASSERT_EQ(row, recording.frames[i].row) << i;
      ibt_rows.emplace(session_tick(recording.frames[i]), std::move(row));
    }
  }
  ASSERT_EQ(ibt_rows.size(), 180u);
  EXPECT_EQ(ibt_session_text, recording.last_session_text);

  const DumpContents rerecorded = record_replay(sandbox, sandbox.directory() / "replay.bin", 60);
  ASSERT_TRUE(rerecorded.ends_cleanly);
  const auto frames = iracing_frames(rerecorded);
  ASSERT_FALSE(frames.empty());

  std::int32_t previous_tick = -1;
  std::size_t matched = 0;
  for (const auto& [tick, frame] : frames) {
    EXPECT_GE(tick, previous_tick) << "a tick repeats only right after itself";
    previous_tick = tick;
    const auto found = ibt_rows.find(tick);
    ASSERT_NE(found, ibt_rows.end()) << "tick " << tick << " is no row of the .ibt file";
    EXPECT_EQ(frame.row, found->second) << "tick " << tick;
    EXPECT_EQ(session_tick(frame), tick);
    EXPECT_EQ(frame.variable_headers, recording.frames[0].variable_headers);
    if (!frame.session_info.empty()) {
      EXPECT_EQ(frame.session_info, ibt_session_text);
    }
    ++matched;
  }
  EXPECT_FALSE(frames.front().snapshot.session_info.empty());
  // dumper joins at its next once-a-second poll and the two rates are not in
  // phase: most of the rows it could have seen, but not all, are there.
  const auto could_see = static_cast<std::size_t>(std::distance(ibt_rows.find(frames.front().tick), ibt_rows.end()));
  EXPECT_GE(matched * 4, could_see * 3) << matched << " of " << could_see;
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

}  // namespace

}  // namespace vove
