// dumptool repair: the readable part of a damaged recording as a new file.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/frame_progress.h"
#include "dumptool/record_copier.h"

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view about =
    "Copies every complete record whose data inflates into a new recording, byte for byte,\n"
    "and says what was dropped: the end of a recording cut short by a power cut, a record\n"
    "damaged in transfer. An intact file comes out exactly the same. Exit code 2 when\n"
    "something was dropped (OUT is written all the same).";

// Dropped records beyond this many are counted, not listed.
constexpr std::size_t listed_drops = 20;

int run_repair(const CommandLine& command_line) {
  const auto& values = command_line.values();
  const std::filesystem::path input = command_line.file();
  auto frames = open_recording(input);
  auto output = create_output(input, values["output"].as<std::string>(), values.count("force") != 0);
  std::ostream& out = output->stream();
  RecordCopier copier(input);
  FrameProgress progress("repair", frames->size());

  std::vector<std::string> drops;
  std::size_t dropped = 0;
  std::size_t kept = 0;
  FramePayload payload;
  copier.copy_header(out);
  for (std::size_t frame = 0; frame < frames->size() && out; ++frame) {
    const auto& record = frames->index().records()[frame];
    if (frames->read_if_intact(frame, payload)) {  // only to know it inflates
      copier.copy(record, out);
      ++kept;
    } else {
      if (dropped++ < listed_drops) {
        drops.push_back("Dropped frame " + std::to_string(frame) + " (record at byte " + std::to_string(record.offset) +
                        ", " + std::to_string(record.end_offset() - record.offset) +
                        " bytes): its compressed data does not inflate");
      }
    }
    progress.update(frame + 1);
  }
  progress.clear();
  commit_output(*output);

  for (const auto& line : drops) std::cout << line << '\n';
  if (dropped > drops.size()) std::cout << "(and " << dropped - drops.size() << " more such records)\n";
  bool damaged = dropped > 0;
  if (const auto& damage = frames->index().damage()) {
    std::error_code error;
    const auto size = std::filesystem::file_size(input, error);
    std::cout << "Dropped the end of the file from byte " << damage->offset;
    if (!error && size > damage->offset) std::cout << " (" << size - damage->offset << " bytes)";
    std::cout << ": " << damage->reason << '\n';
    damaged = true;
  }
  std::cout << "Wrote " << kept << " of " << kept + dropped << " complete records to "
            << output->destination().string() << (damaged ? "" : "; the file was intact") << std::endl;
  return damaged ? exit_damaged_input : exit_success;
}

}  // namespace

}  // namespace dumptool

int run_repair_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("repair FILE -o OUT [--force]", about);
  command_line.add_options()
      ("output,o", options::value<std::string>()->required(), "the repaired recording")
      ("force", "replace OUT when it exists");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_repair(command_line); });
}
