// dumptool on recordings of the running stand-in: the CSV export read back
// by Python's csv module and checked against the values the stand-in
// publishes for each tick, info --json read by Python's json module, and a
// cut that replays on its own.
#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "common/byte_coding.h"
#include "e2e_support.h"
#include "formats/iracing_snapshot.h"
#include "tools/sim_standin/iracing_memory_layout.h"
#include "tools/sim_standin/iracing_variables.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

// Runs one of the Python readers beside this test and returns its output.
std::string run_python(const E2eSandbox& sandbox, const std::string& script, std::vector<std::string> arguments) {
  static int runs = 0;
  arguments.insert(arguments.begin(), {"python3", std::string(VOVE_E2E_SCRIPTS_DIR) + "/" + script});
  auto process = sandbox.start_command(arguments, "python_" + std::to_string(runs++));
  const auto status = process->wait_for_exit(120s);
  EXPECT_TRUE(status && status->exited && status->code == 0) << script << ": " << process->standard_error();
  return process->standard_output();
}

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(line);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

double number(const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(result.ec, std::errc()) << text;
  return value;
}

// What the stand-in published for column `name` ("Name" or "Name[i]") in
// `row`, read at the stand-in's own offsets; false when it has no such
// variable.
bool expect_published_value(const std::string& name, std::span<const std::byte> row, double read_back) {
  std::string base = name;
  std::int32_t index = 0;
  if (const auto bracket = name.find('['); bracket != std::string::npos) {
    base = name.substr(0, bracket);
    index = std::stoi(name.substr(bracket + 1));
  }
  for (const auto& variable : iracing::standin_variables()) {
    if (variable.name != base) continue;
    const std::byte* at = row.data() + variable.row_offset + index * iracing::variable_type_size(variable.type);
    switch (variable.type) {
      case iracing::VariableType::float32:
        EXPECT_EQ(static_cast<float>(read_back), std::bit_cast<float>(coding::decode_u32(at))) << name;
        break;
      case iracing::VariableType::float64:
        EXPECT_EQ(read_back, std::bit_cast<double>(coding::decode_u64(at))) << name;
        break;
      case iracing::VariableType::integer: EXPECT_EQ(read_back, coding::decode_i32(at)) << name; break;
      case iracing::VariableType::bitfield: EXPECT_EQ(read_back, coding::decode_u32(at)) << name; break;
      case iracing::VariableType::boolean:
        EXPECT_EQ(read_back, std::to_integer<int>(*at) != 0 ? 1.0 : 0.0) << name;
        break;
      case iracing::VariableType::character:
        EXPECT_EQ(read_back, static_cast<std::int8_t>(std::to_integer<int>(*at))) << name;
        break;
    }
    return true;
  }
  return false;
}

TEST(DumptoolOnAStandinRecording, CsvInfoAndSessionAgreeWithWhatWasPublished) {
  E2eSandbox sandbox("dumptool_standin");
  const auto recording = record_standin(sandbox, {"--sim", "iracing"}, 20, 4000ms);
  ASSERT_FALSE(recording.empty());
  const auto frames = iracing_frames(read_dump(recording));
  ASSERT_GE(frames.size(), 20u);

  // csv: every column of every frame, read by Python, is what the stand-in
  // published at that frame's tick.
  const RunResult csv = run_dumptool(sandbox, {"csv", recording.string(), "-o", "all.csv"});
  ASSERT_EQ(csv.status.code, 0) << csv.error;
  const auto lines = split(run_python(sandbox, "read_csv_columns.py", {"all.csv"}), '\n');
  ASSERT_EQ(lines.size(), frames.size() + 1);
  const std::string csv_text = read_file(sandbox.directory() / "all.csv");
  EXPECT_EQ(std::count(csv_text.begin(), csv_text.end(), '\n'), static_cast<std::ptrdiff_t>(lines.size()));
  EXPECT_EQ(std::count(csv_text.begin(), csv_text.end(), '\r'), static_cast<std::ptrdiff_t>(lines.size()));  // CRLF
  const auto names = split(lines[0], '\t');
  std::size_t columns = 2;
  for (const auto& variable : iracing::standin_variables()) columns += static_cast<std::size_t>(variable.count);
  ASSERT_EQ(names.size(), columns);
  EXPECT_EQ(names[0], "seconds");
  EXPECT_EQ(names[1], "tick");
  const auto& variables = iracing::standin_variables();
  std::vector<std::byte> row(static_cast<std::size_t>(iracing::standin_row_length(variables)));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto fields = split(lines[i + 1], '\t');
    ASSERT_EQ(fields.size(), names.size()) << i;
    EXPECT_EQ(number(fields[0]), static_cast<double>(i) / 20.0);
    EXPECT_EQ(number(fields[1]), frames[i].tick);
    iracing::fill_standin_row(row, variables, frames[i].tick, iracing::standin_tick_rate);
    for (std::size_t c = 2; c < names.size(); ++c) {
      ASSERT_TRUE(expect_published_value(names[c], row, number(fields[c]))) << names[c];
    }
    if (HasFailure()) break;
  }

  // A chosen subset, a range, and a mistyped name.
  const RunResult some =
      run_dumptool(sandbox, {"csv", recording.string(), "--vars", "Gear,LatAccel_ST", "--from", "0.5", "--to", "1"});
  EXPECT_EQ(some.status.code, 0) << some.error;
  EXPECT_EQ(split(some.output, '\n').front(),
            "seconds,tick,Gear,LatAccel_ST[0],LatAccel_ST[1],LatAccel_ST[2],LatAccel_ST[3],LatAccel_ST[4],"
            "LatAccel_ST[5]");
  EXPECT_EQ(split(some.output, '\n').size(), 1u + 10u);  // frames 10 to 19
  const RunResult unknown = run_dumptool(sandbox, {"csv", recording.string(), "--vars", "Sped,Gear", "-o", "x.csv"});
  EXPECT_EQ(unknown.status.code, 1);
  EXPECT_NE(unknown.error.find("'Sped' (close: Speed"), std::string::npos) << unknown.error;
  EXPECT_FALSE(std::filesystem::exists(sandbox.directory() / "x.csv"));

  // info --json, read by Python's json module.
  const RunResult info = run_dumptool(sandbox, {"info", "--json", recording.string()});
  ASSERT_EQ(info.status.code, 0) << info.error;
  std::ofstream(sandbox.directory() / "info.json") << info.output;
  std::size_t texts = 0;
  for (const auto& frame : frames) texts += frame.snapshot.session_info.empty() ? 0 : 1;
  const auto fields = split(run_python(sandbox, "read_json_fields.py",
                                       {"info.json", "frames", "fps", "source", "first_tick", "last_tick",
                                        "session_texts.count", "variable_count", "row_bytes", "first_damage"}),
                            '\n');
  const std::vector<std::string> expected{std::to_string(frames.size()),
                                          "20",
                                          "\"irac\"",
                                          std::to_string(frames.front().tick),
                                          std::to_string(frames.back().tick),
                                          std::to_string(texts),
                                          std::to_string(variables.size()),
                                          std::to_string(row.size()),
                                          "null"};
  EXPECT_EQ(fields, expected);

  // session: the text in force, byte for byte.
  const RunResult session = run_dumptool(sandbox, {"session", recording.string(), "--at", "1.5"});
  EXPECT_EQ(session.status.code, 0) << session.error;
  EXPECT_EQ(session.output, text_in_force(frames, 30));
}

TEST(DumptoolCut, ARangeReplaysOnItsOwnAndIsRecordedBackFrameForFrame) {
  E2eSandbox sandbox("dumptool_cut");
  const auto recording = record_standin(sandbox, {"--sim", "iracing"}, 10, 9000ms, "original");
  ASSERT_FALSE(recording.empty());
  const auto original = iracing_frames(read_dump(recording));
  ASSERT_GE(original.size(), 75u);

  const RunResult cut =
      run_dumptool(sandbox, {"cut", recording.string(), "--from", "1.5", "--to", "7.5", "-o", "cut.bin"});
  ASSERT_EQ(cut.status.code, 0) << cut.error;
  const DumpContents cut_dump = read_dump(sandbox.directory() / "cut.bin");
  EXPECT_TRUE(cut_dump.ends_cleanly);
  EXPECT_EQ(cut_dump.fps, 10u);
  const auto cut_frames = iracing_frames(cut_dump);
  ASSERT_EQ(cut_frames.size(), 60u);  // frames 15 to 74
  for (std::size_t i = 0; i < cut_frames.size(); ++i) {
    const auto& source = original[15 + i];
    EXPECT_EQ(cut_frames[i].tick, source.tick) << i;
    EXPECT_EQ(cut_frames[i].snapshot.row, source.snapshot.row) << i;
    EXPECT_EQ(cut_frames[i].snapshot.variable_headers, source.snapshot.variable_headers) << i;
    if (i > 0) {
      EXPECT_EQ(cut_frames[i].snapshot.session_info, source.snapshot.session_info) << i;
    }
  }
  EXPECT_EQ(cut_frames.front().snapshot.session_info, text_in_force(original, 15));
  // No slot of the first frame claims a row the new file never wrote.
  const auto& first_header = cut_frames.front().snapshot.header;
  const int newest = iracing::newest_slot(first_header);
  for (int slot = 0; slot < first_header.buffer_count; ++slot) {
    if (slot != newest) {
      EXPECT_EQ(first_header.buffer_slots[static_cast<std::size_t>(slot)].tick_count, 0) << slot;
    }
  }

  const auto replayed = iracing_frames(record_replay(sandbox, sandbox.directory() / "cut.bin", 10));
  ASSERT_FALSE(replayed.empty());
  expect_replayed_as_recorded(cut_frames, replayed);
  // The recorder's first frame carries the text in memory when it joined.
  EXPECT_FALSE(replayed.front().snapshot.session_info.empty());
  // The recorder joins at its next once-a-second poll and runs out of phase
  // with the replay: it may miss the first two seconds and a frame now and then.
  EXPECT_GE(replayed.size(), 30u);
}

}  // namespace

}  // namespace vove
