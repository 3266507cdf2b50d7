// dumptool repair: the readable part of a damaged recording as a new file.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/damage_report.h"
#include "dumptool/frame_progress.h"
#include "dumptool/record_copier.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view repair_about =
    "Copies every complete record whose data inflates into a new recording, byte for byte,\n"
    "and says what was dropped: the end of a recording cut short by a power cut, a record\n"
    "damaged in transfer. An intact file comes out exactly the same. Exit code 2 when\n"
    "something was dropped (OUT is written all the same).";

int run_repair(const CommandLine& command_line) {
  const auto& values = command_line.values();
  const std::filesystem::path input = command_line.file();
  auto frames = open_recording(input);
  auto output = create_output(input, values["output"].as<std::string>(), values.count("force") != 0);
  std::ostream& out = output->stream();
  RecordCopier copier(input);
  FrameProgress progress("repair", frames->size());

  // What was dropped is told on standard output, with what was written.
  DamageReport report(std::cout, DamageReport::Listing::records);
  std::size_t kept = 0;
  FramePayload payload;
  copier.copy_header(out);
  for (std::size_t frame = 0; frame < frames->size() && out; ++frame) {
    const auto& record = frames->index().records()[frame];
    if (frames->read_if_intact(frame, payload)) {  // only to know it inflates
      copier.copy(record, out);
      ++kept;
    } else {
      report.dropped_frame("Dropped frame " + std::to_string(frame) + " (record at byte " +
                           std::to_string(record.offset) + ", " + std::to_string(record.end_offset() - record.offset) +
                           " bytes): its compressed data does not inflate");
    }
    progress.update(frame + 1);
  }
  progress.clear();
  commit_output(*output);

  if (const auto& damage = frames->index().damage()) {
    std::error_code error;
    const auto size = std::filesystem::file_size(input, error);
    std::string line = "Dropped the end of the file from byte " + std::to_string(damage->offset);
    if (!error && size > damage->offset) line += " (" + std::to_string(size - damage->offset) + " bytes)";
    report.dropped_end(line + ": " + damage->reason);
  }
  const bool damaged = report.damaged();
  const std::size_t dropped = report.damaged_frames();
  const int code = report.finish();
  std::cout << "Wrote " << kept << " of " << kept + dropped << " complete records to " << output->destination().string()
            << (damaged ? "" : "; the file was intact") << std::endl;
  return code;
}

}  // namespace

}  // namespace dumptool

int run_repair_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("repair FILE -o OUT [--force]", repair_about);
  command_line.add_options()("output,o", options::value<std::string>()->required(), "the repaired recording")(
      "force", "replace OUT when it exists");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_repair(command_line); });
}

}  // namespace vove
