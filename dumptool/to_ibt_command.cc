// dumptool to-ibt: an iRacing recording as the simulator's own telemetry
// file, so the analysis tools people already use can open it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/progress_line.h"
#include "dumptool/command.h"
#include "dumptool/commands.h"
#include "dumptool/file_command_line.h"
#include "dumptool/staged_output_file.h"
#include "formats/dump_file_name.h"
#include "formats/dump_frames.h"
#include "formats/ibt_writer.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"

namespace {

constexpr std::string_view usage =
    "Usage: dumptool to-ibt FILE -o OUT.ibt\n\n"
    "Writes an iRacing recording as a .ibt telemetry file: the recording's variable\n"
    "table, one row per frame, the tick rate set to the recording's rate. A .ibt file\n"
    "holds one session text: it gets the session text in force at the end of the\n"
    "recording.";

using iRacing::Snapshot;
using iRacing::VariableInfo;

// A frame that cannot be read; the conversion keeps the frames before it.
struct Damage {
  std::size_t frame = 0;
  std::string reason;
};

std::string describe(const Damage& damage) {
  return "frame " + std::to_string(damage.frame) + " is damaged (" + damage.reason + ")";
}

// Reads and parses frame `frame`; a damaged record or payload is returned as
// Damage, an I/O failure propagates.
std::variant<Snapshot, Damage> read_snapshot(DumpFrames& frames, std::size_t frame) {
  try {
    return iRacing::parse_snapshot(frames.read(frame));
  } catch (const std::logic_error& error) {
    return Damage{frame, error.what()};
  }
}

// The session text in force after frame `last`, looked for from there
// backwards. A frame carries the text only when it is longer than the bare
// header, variable headers and row, so only such frames are inflated. A
// damaged frame met on the way lowers `limit` to it.
struct SessionText {
  std::size_t frame = 0;
  std::string text;
};

SessionText session_text_in_force(DumpFrames& frames, const Snapshot& first, std::size_t& limit,
                                  std::optional<Damage>& damage) {
  const std::uint64_t bare_size = iRacing::payload_fixed_size +
                                  iRacing::variable_header_size * first.variable_headers.size() + first.row.size();
  for (std::size_t frame = limit; frame-- > 1;) {
    if (frames.index().records()[frame].sizes.uncompressed_size == bare_size) continue;
    auto snapshot = read_snapshot(frames, frame);
    if (auto* found = std::get_if<Damage>(&snapshot)) {
      limit = frame;
      damage = std::move(*found);
      continue;
    }
    auto& parsed = std::get<Snapshot>(snapshot);
    if (!parsed.session_info.empty()) return {frame, std::move(parsed.session_info)};
  }
  return {0, first.session_info};
}

std::int64_t start_date_of(const std::filesystem::path& input) {
  if (const auto named = recording_start_from_file_name(input.filename().string())) {
    return named->time_since_epoch().count();
  }
  std::error_code error;
  const auto modified = std::filesystem::last_write_time(input, error);
  if (error) return 0;
  const auto system_time = std::chrono::file_clock::to_sys(modified);
  return std::chrono::duration_cast<std::chrono::seconds>(system_time.time_since_epoch()).count();
}

// A variable the disk sub-header is filled from, if the table has it with
// values inside the row.
const VariableInfo* usable(const iRacing::VariableTable& table, std::string_view name, std::size_t row_length) {
  const VariableInfo* variable = table.find(name);
  return variable != nullptr && variable->fits_row(row_length) ? variable : nullptr;
}

// Fills the disk sub-header from the rows as they go by.
class DiskHeaderFromRows {
 public:
  DiskHeaderFromRows(const iRacing::VariableTable& table, std::size_t row_length, std::uint32_t fps)
      : session_time_(usable(table, "SessionTime", row_length)), lap_(usable(table, "Lap", row_length)), fps_(fps) {}

  void add(std::span<const std::uint8_t> row) {
    if (session_time_ != nullptr) {
      const double time = iRacing::read_value(row, *session_time_, 0);
      if (rows_ == 0) header_.start_time = time;
      header_.end_time = time;
    }
    if (lap_ != nullptr) {
      const double lap = iRacing::read_value(row, *lap_, 0);
      if (std::isfinite(lap) && lap > header_.lap_count && lap <= 1e9) header_.lap_count = static_cast<std::int32_t>(lap);
    }
    ++rows_;
  }

  iRacing::IbtDiskHeader finish(std::int64_t start_date) {
    header_.start_date = start_date;
    // Without SessionTime the rows still span a known time at the recording's rate.
    if (session_time_ == nullptr && rows_ > 0 && fps_ > 0) header_.end_time = static_cast<double>(rows_ - 1) / fps_;
    return header_;
  }

 private:
  const VariableInfo* session_time_;
  const VariableInfo* lap_;
  std::uint32_t fps_;
  std::uint64_t rows_ = 0;
  iRacing::IbtDiskHeader header_;
};

void require_exportable(const Snapshot& first, const std::filesystem::path& input) {
  if (first.row.empty()) throw std::runtime_error(input.string() + ": the recording's rows are empty; there is nothing to convert");
  if (first.row.size() > static_cast<std::size_t>(iRacing::ibt_max_row_length) ||
      first.variable_headers.size() > static_cast<std::size_t>(iRacing::ibt_max_variable_count)) {
    throw std::runtime_error(input.string() + ": the recording's rows or variable table are too large for a .ibt file");
  }
}

bool same_table(const Snapshot& frame, const Snapshot& first) {
  return frame.variable_headers == first.variable_headers && frame.row.size() == first.row.size();
}

struct Conversion {
  std::uint64_t rows = 0;
  std::size_t variables = 0;
  std::optional<Damage> damage;
};

// One attempt at the whole file. Returns nothing when a damaged frame turns
// up before the frame the session text was taken from: the text in force
// is then an earlier one and the attempt starts again with the lower limit.
std::optional<Conversion> convert_once(DumpFrames& frames, const std::filesystem::path& input,
                                       const std::filesystem::path& output, std::size_t& limit,
                                       std::optional<Damage>& damage) {
  auto first_read = read_snapshot(frames, 0);
  if (auto* broken = std::get_if<Damage>(&first_read)) {
    throw std::runtime_error(input.string() + ": " + describe(*broken) + "; nothing before it to convert");
  }
  const Snapshot first = std::move(std::get<Snapshot>(first_read));
  require_exportable(first, input);
  const SessionText text = session_text_in_force(frames, first, limit, damage);
  const iRacing::VariableTable table(first.variable_headers);

  StagedOutputFile out(output, input);
  iRacing::MemoryHeader header = first.header;
  header.tick_rate = static_cast<std::int32_t>(frames.header().fps);
  iRacing::IbtWriter writer(out.stream(), header, first.variable_headers, text.text, first.row.size());
  DiskHeaderFromRows disk(table, first.row.size(), frames.header().fps);
  ProgressLine progress;
  std::int32_t newest_tick = 0;
  for (std::size_t frame = 0; frame < limit; ++frame) {
    auto read = frame == 0 ? std::variant<Snapshot, Damage>(first) : read_snapshot(frames, frame);
    if (auto* broken = std::get_if<Damage>(&read)) {
      limit = frame;
      damage = std::move(*broken);
      if (text.frame >= frame) return std::nullopt;
      break;
    }
    const Snapshot& snapshot = std::get<Snapshot>(read);
    if (!same_table(snapshot, first)) {
      // A .ibt file holds one variable table.
      throw std::runtime_error(input.string() + ": frame " + std::to_string(frame) + " (at " + std::to_string(frames.seconds_of(frame)) +
                         " s) changes the variable table, and a .ibt file holds only one; convert the parts "
                         "before and after it separately");
    }
    writer.append_row(snapshot.row);
    disk.add(snapshot.row);
    newest_tick = snapshot.header.buffer_slots[static_cast<std::size_t>(iRacing::newest_slot(snapshot.header))]
                      .tick_count;
    if (progress.enabled()) {
      progress.update("to-ibt: frame " + std::to_string(frame + 1) + " of " + std::to_string(limit));
    }
  }
  progress.clear();
  writer.finish(disk.finish(start_date_of(input)), newest_tick);
  out.commit();
  return Conversion{writer.rows_written(), first.variable_headers.size(), damage};
}

std::unique_ptr<DumpFrames> open_recording(const std::filesystem::path& input) {
  try {
    return std::make_unique<DumpFrames>(input);
  } catch (const std::invalid_argument& error) {
    throw std::runtime_error(input.string() + " is not a recording: " + error.what());
  }
}

int convert(const std::filesystem::path& input, const std::filesystem::path& output) {
  const auto recording = open_recording(input);
  DumpFrames& frames = *recording;
  if (frames.header().source_id != iRacing::iracing_source_id) {
    std::cerr << "Error: " << input.string()
              << " is not an iRacing recording; only iRacing recordings carry the variable table a .ibt file needs"
              << std::endl;
    return exit_bad_command_line;
  }
  std::size_t limit = frames.size();
  std::optional<Damage> damage;
  if (const auto& indexed = frames.index().damage()) damage = Damage{indexed->frame, indexed->reason};
  if (limit == 0) {
    throw std::runtime_error(input.string() + ": " +
                             (damage ? describe(*damage) + "; nothing before it to convert"
                                     : std::string("the recording holds no frames")));
  }
  std::optional<Conversion> done;
  while (!(done = convert_once(frames, input, output, limit, damage))) {
  }
  std::cout << "Wrote " << done->rows << " rows of " << done->variables << " variables to " << output.string()
            << std::endl;
  if (done->damage) {
    std::cerr << "Error: " << input.string() << ": " << describe(*done->damage) << "; the " << done->rows
              << " frames before it were converted" << std::endl;
    return exit_damaged_input;
  }
  return exit_success;
}

}  // namespace

int run_to_ibt_command(const std::vector<std::string>& arguments) {
  int exit_code = exit_success;
  const auto command_line = parse_file_command_line(arguments, usage, {}, exit_code);
  if (!command_line) return exit_code;
  try {
    return convert(command_line->input, command_line->output);
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return exit_damaged_input;
  }
}
