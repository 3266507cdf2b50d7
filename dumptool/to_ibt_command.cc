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
#include <vector>

#include "common/progress_line.h"
#include "dumptool/command.h"
#include "dumptool/commands.h"
#include "dumptool/command_support.h"
#include "dumptool/damage_report.h"
#include "formats/dump_file_name.h"
#include "formats/dump_frames.h"
#include "formats/ibt_writer.h"
#include "formats/iracing_recording.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view to_ibt_about =
    "Writes an iRacing recording as a .ibt telemetry file: the recording's variable\n"
    "table, one row per frame, the tick rate set to the recording's rate. A .ibt file\n"
    "holds one session text: it gets the session text in force at the end of the\n"
    "recording.";

using iracing::Snapshot;
using iracing::VariableInfo;

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
const VariableInfo* usable(const iracing::VariableTable& table, std::string_view name, std::size_t row_length) {
  const VariableInfo* variable = table.find(name);
  return variable != nullptr && variable->fits_row(row_length) ? variable : nullptr;
}

// Fills the disk sub-header from the rows as they go by.
class DiskHeaderFromRows {
 public:
  DiskHeaderFromRows(const iracing::VariableTable& table, std::size_t row_length, std::uint32_t fps)
      : session_time_(usable(table, "SessionTime", row_length)), lap_(usable(table, "Lap", row_length)), fps_(fps) {}

  void add(std::span<const std::uint8_t> row) {
    if (session_time_ != nullptr) {
      const double time = iracing::read_value(row, *session_time_, 0);
      if (rows_ == 0) header_.start_time = time;
      header_.end_time = time;
    }
    if (lap_ != nullptr) {
      const double lap = iracing::read_value(row, *lap_, 0);
      if (std::isfinite(lap) && lap > header_.lap_count && lap <= 1e9)
        header_.lap_count = static_cast<std::int32_t>(lap);
    }
    ++rows_;
  }

  iracing::IbtDiskHeader finish(std::int64_t start_date) {
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
  iracing::IbtDiskHeader header_;
};

void require_exportable(const Snapshot& first, const std::filesystem::path& input) {
  if (first.row.empty())
    throw std::runtime_error(input.string() + ": the recording's rows are empty; there is nothing to convert");
  if (first.row.size() > static_cast<std::size_t>(iracing::ibt_max_row_length) ||
      first.variable_headers.size() > static_cast<std::size_t>(iracing::ibt_max_variable_count)) {
    throw std::runtime_error(input.string() + ": the recording's rows or variable table are too large for a .ibt file");
  }
}

[[noreturn]] void nothing_to_convert(const std::filesystem::path& input, const std::string& why) {
  throw std::runtime_error(input.string() + ": " + why + "; nothing before it to convert");
}

// A frame whose rows no longer fit the first frame's variable table.
struct TableChange {
  std::size_t frame = 0;
  std::string message;
};

// What goes into the .ibt, decided before anything is written: frames
// [0, end), the session text in force at the end of them, and what stops
// the conversion early.
struct ExportPlan {
  std::size_t end = 0;
  std::string session_text;
  // The .ibt is refused when the rows get there (a .ibt file holds one
  // variable table); a write that fails before still says so instead.
  std::optional<TableChange> table_change;
  // Why the frames from `end` on are left out, naming the frame.
  std::optional<std::string> damage;

  std::size_t rows_end() const noexcept { return table_change ? table_change->frame : end; }
};

// One walk up to the first frame that cannot be read: the frames before it
// go in, and the last session text they carried is the one in force there.
ExportPlan plan_export(DumpFrames& frames, const std::filesystem::path& input) {
  ExportPlan plan;
  plan.end = frames.size();
  if (const auto& indexed = frames.index().damage()) {
    plan.damage = "frame " + std::to_string(indexed->frame) + " (record at byte " + std::to_string(indexed->offset) +
                  ") cannot be read: " + indexed->reason;
  }
  if (plan.end == 0 && !plan.damage) throw std::runtime_error(input.string() + ": the recording holds no frames");
  ProgressLine progress;
  progress.show_after(std::chrono::seconds{1});
  iracing::RecordingWalk walk(frames);
  std::size_t row_length = 0;
  try {
    while (const iracing::RecordingFrame* frame = walk.next()) {
      if (frame->number == 0) row_length = frame->snapshot.row.size();
      if (!plan.table_change && (walk.variables_differ_from_first() || frame->snapshot.row.size() != row_length)) {
        plan.table_change = TableChange{
            frame->number, input.string() + ": frame " + std::to_string(frame->number) + " (at " +
                               std::to_string(frame->seconds) +
                               " s) changes the variable table, and a .ibt file holds only one; convert the parts "
                               "before and after it separately"};
      }
      if (progress.enabled()) {
        progress.update("to-ibt: reading frame " + std::to_string(frame->number + 1) + " of " +
                        std::to_string(frames.size()));
      }
    }
  } catch (const iracing::DamagedFrameError& error) {
    plan.end = error.frame();
    plan.damage = error.what();
  }
  plan.session_text = walk.session_text();
  if (plan.end == 0) nothing_to_convert(input, *plan.damage);
  return plan;
}

struct Conversion {
  std::uint64_t rows = 0;
  std::size_t variables = 0;
};

// Writes the rows `plan` chose. A failed write stops the rows, and the
// commit reports it with the system's reason.
Conversion write_ibt(DumpFrames& frames, const ExportPlan& plan, const std::filesystem::path& input,
                     const std::filesystem::path& output, bool force) {
  iracing::RecordingWalk walk(frames, 0, plan.rows_end());
  const iracing::RecordingFrame* frame = walk.next();
  const Snapshot& first = frame->snapshot;
  require_exportable(first, input);
  const std::size_t row_length = first.row.size();
  const std::size_t variables = first.variable_headers.size();

  const auto out = create_output(input, output, force);
  iracing::MemoryHeader header = first.header;
  header.tick_rate = static_cast<std::int32_t>(frames.header().fps);
  std::optional<iracing::IbtWriter> writer;
  DiskHeaderFromRows disk(walk.first_variables(), row_length, frames.header().fps);
  ProgressLine progress;
  progress.show_after(std::chrono::seconds{1});
  std::int32_t newest_tick = 0;
  try {
    writer.emplace(out->stream(), header, first.variable_headers, plan.session_text, row_length);
    for (; frame != nullptr; frame = walk.next()) {
      writer->append_row(frame->snapshot.row);
      disk.add(frame->snapshot.row);
      newest_tick = frame->tick;
      if (progress.enabled()) {
        progress.update("to-ibt: frame " + std::to_string(frame->number + 1) + " of " + std::to_string(plan.end));
      }
    }
    if (plan.table_change) throw std::runtime_error(plan.table_change->message);
    writer->finish(disk.finish(start_date_of(input)), newest_tick);
  } catch (const std::ios_base::failure&) {
    // the commit below says so
  }
  progress.clear();
  commit_output(*out);
  return Conversion{writer ? writer->rows_written() : 0, variables};
}

int convert(const std::filesystem::path& input, const std::filesystem::path& output, bool force) {
  const auto recording = open_recording(input);
  DumpFrames& frames = *recording;
  try {
    iracing::require_iracing_recording(frames);
  } catch (const iracing::NotIracingRecordingError& error) {
    throw UsageError(input.string() + " is " + error.what() +
                     "; only iRacing recordings carry the variable table a .ibt file needs");
  }
  const ExportPlan plan = plan_export(frames, input);
  const Conversion done = write_ibt(frames, plan, input, output, force);
  std::cout << "Wrote " << done.rows << " rows of " << done.variables << " variables to " << output.string()
            << std::endl;
  DamageReport report(std::cerr);
  if (plan.damage) {
    report.problem(input.string() + ": " + *plan.damage + "; the " + std::to_string(done.rows) +
                   " frames before it were converted");
  }
  return report.finish();
}

}  // namespace

}  // namespace dumptool

int run_to_ibt_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("to-ibt FILE -o OUT.ibt [--force]", to_ibt_about);
  command_line.add_options()("output,o", options::value<std::string>()->required(), "the .ibt file to write")(
      "force", "replace OUT when it exists");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] {
    return convert(command_line.file(), command_line.values()["output"].as<std::string>(), command_line.has("force"));
  });
}

}  // namespace vove
