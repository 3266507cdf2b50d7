// dumptool from-ibt: any .ibt telemetry file as a recording that emulator
// replays into live shared memory, frames shaped like the simulator's own.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/progress_line.h"
#include "dumptool/command.h"
#include "dumptool/commands.h"
#include "dumptool/command_support.h"
#include "dumptool/damage_report.h"
#include "formats/dump_format.h"
#include "formats/dump_writer.h"
#include "formats/ibt_reader.h"
#include "formats/iracing_memory_plan.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view from_ibt_about =
    "Turns a .ibt telemetry file into a recording that emulator replays as live\n"
    "iRacing telemetry: the file's variable table and rows, its session text in the\n"
    "first frame, three rotating row buffers with rising tick counts. The rate is\n"
    "the file's tick rate (at most 60); --fps keeps fewer rows for a lower one.";

// The header of live memory holding the file's parts. The reader's limits
// keep every offset far below the replay's mapping size.
iracing::MemoryHeader live_header(const iracing::IbtReader& reader) {
  iracing::MemoryHeader header;
  header.version = iracing::ibt_header_version;
  header.status = iracing::status_connected;
  header.tick_rate = reader.header().tick_rate;
  header.session_info_update = 1;
  iracing::place_parts(iracing::plan_live_memory(static_cast<std::int32_t>(reader.variable_headers().size()),
                                                 iracing::session_area_for(reader.session_info().size()),
                                                 static_cast<std::int32_t>(reader.row_length())),
                       header);
  static_assert(std::int64_t{iracing::ibt_max_variable_count} * 144 + 2 * iracing::ibt_max_session_info_length +
                    iracing::live_buffer_count *
                        (std::int64_t{iracing::ibt_max_row_length} + iracing::live_area_alignment) <
                iracing::mapping_size);
  return header;
}

// Whether row `index` of a file at `tick_rate` is kept for a recording at
// `fps`: the first row at or after each frame's time, so every k-th row
// when the rates divide and the right rate on average when they do not.
bool keeps_row(std::uint64_t index, std::uint64_t tick_rate, std::uint64_t fps) {
  return index == 0 || index * fps / tick_rate != (index - 1) * fps / tick_rate;
}

// The tick count each frame publishes: the row's own SessionTick when the
// file has it, otherwise the row's number; forced to rise, as readers of
// live memory take a tick that does not rise for no new data.
class TickSource {
 public:
  TickSource(const iracing::VariableTable& table, std::size_t row_length) {
    const iracing::VariableInfo* tick = table.find("SessionTick");
    if (tick != nullptr && tick->fits_row(row_length) && tick->type == iracing::VariableType::integer) tick_ = *tick;
  }

  // Nothing when the tick would pass the largest a header can hold.
  std::optional<std::int32_t> tick_of(std::span<const std::uint8_t> row, std::uint64_t index) {
    const std::int64_t own =
        tick_ ? static_cast<std::int64_t>(iracing::read_value(row, *tick_, 0)) : static_cast<std::int64_t>(index);
    const std::int64_t tick = std::max(own, previous_ + 1);
    if (tick > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    previous_ = tick;
    return static_cast<std::int32_t>(tick);
  }

 private:
  std::optional<iracing::VariableInfo> tick_;
  std::int64_t previous_ = -1;
};

// The rate of the recording; UsageError when --fps asks for one it cannot have.
int chosen_fps(const options::variables_map& values, std::int32_t tick_rate, const std::string& input) {
  if (values.count("fps") == 0) return std::min(tick_rate, highest_recording_fps);
  const int fps = values["fps"].as<int>();
  if (!is_recording_fps(fps)) {
    throw UsageError("--fps must be " + std::to_string(lowest_recording_fps) + " to " +
                     std::to_string(highest_recording_fps) + ", not " + std::to_string(fps));
  }
  if (fps > tick_rate) {
    throw UsageError("--fps " + std::to_string(fps) + " is above the tick rate of " + input + " (" +
                     std::to_string(tick_rate) + " rows per second)");
  }
  return fps;
}

int convert(const std::filesystem::path& input, const std::filesystem::path& output,
            const options::variables_map& values) {
  std::ifstream stream = open_input_file(input);
  std::optional<iracing::IbtReader> opened;
  try {
    opened.emplace(stream);
  } catch (const iracing::IbtFormatError& error) {
    throw std::runtime_error(input.string() + " is not a usable .ibt file: " + error.what());
  }
  iracing::IbtReader& reader = *opened;
  const std::int32_t tick_rate = reader.header().tick_rate;
  if (tick_rate <= 0) {
    throw std::runtime_error(input.string() + " is not a usable .ibt file: its tick rate is " +
                             std::to_string(tick_rate));
  }
  const int fps = chosen_fps(values, tick_rate, input.string());
  const std::string declared = std::to_string(reader.disk_header().record_count);
  if (reader.row_count() == 0) {
    throw std::runtime_error(input.string() + (reader.cut_short()
                                                   ? " is cut short before its first row (it declares " + declared + ")"
                                                   : " holds no rows"));
  }

  const auto out = create_output(input, output, values.count("force") != 0);
  iracing::Snapshot frame;
  frame.header = live_header(reader);
  frame.variable_headers = reader.variable_headers();
  frame.session_info = reader.session_info();
  TickSource ticks(iracing::VariableTable(reader.variable_headers()), reader.row_length());

  ProgressLine progress;
  progress.show_after(std::chrono::seconds{1});
  std::uint64_t frames = 0;
  std::string stopped_early;
  try {
    DumpWriter writer(out->stream(), static_cast<std::uint32_t>(fps), iracing::iracing_source_id);
    for (std::uint64_t index = 0; index < reader.row_count(); ++index) {
      if (!keeps_row(index, static_cast<std::uint64_t>(tick_rate), static_cast<std::uint64_t>(fps))) continue;
      try {
        reader.read_row(index, frame.row);
      } catch (const iracing::IbtFormatError& error) {  // it shrank, or the device failed
        throw std::runtime_error(input.string() + ": " + error.what());
      }
      const auto tick = ticks.tick_of(frame.row, index);
      if (!tick) {
        stopped_early = "row " + std::to_string(index) +
                        " would need a tick count above 2^31 - 1; the rows before it were converted";
        break;
      }
      // Rotate through the slots as the simulator does; the others keep the
      // ticks of the rows written into them before.
      auto& slot = frame.header.buffer_slots[static_cast<std::size_t>(frames % iracing::live_buffer_count)];
      slot.tick_count = *tick;
      writer.append_frame(iracing::serialise_snapshot(frame));
      frame.session_info.clear();  // only the first frame carries it
      ++frames;
      if (progress.enabled()) {
        progress.update("from-ibt: row " + std::to_string(index + 1) + " of " + std::to_string(reader.row_count()));
      }
    }
  } catch (const DumpWriteError&) {
    // The commit reports the failed write with the system's reason.
  }
  progress.clear();
  commit_output(*out);
  std::cout << "Wrote " << frames << " frames at " << fps << " fps to " << output.string() << std::endl;
  if (stopped_early.empty() && reader.cut_short()) {
    stopped_early = "the file is cut short: it declares " + declared + " rows but holds " +
                    std::to_string(reader.row_count()) + "; those were converted";
  }
  DamageReport report(std::cerr);
  if (!stopped_early.empty()) report.problem(input.string() + ": " + stopped_early);
  return report.finish();
}

}  // namespace

}  // namespace dumptool

int run_from_ibt_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("from-ibt IN.ibt -o OUT.bin [--fps N] [--force]", from_ibt_about);
  command_line.add_options()("output,o", options::value<std::string>()->required(), "the recording to write")(
      "fps", options::value<int>(),
      "frames per second, 1 to 60 (default: the file's tick rate, at most 60); a rate below the "
      "file's keeps every k-th row")("force", "replace OUT when it exists");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] {
    return convert(command_line.file(), command_line.values()["output"].as<std::string>(), command_line.values());
  });
}

}  // namespace vove
