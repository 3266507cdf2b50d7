// dumptool csv: the recorded values as a table, one line per frame.
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dumptool/acc_csv.h"
#include "dumptool/close_matches.h"
#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/csv_format.h"
#include "dumptool/damage_report.h"
#include "dumptool/frame_progress.h"
#include "formats/acc_pages.h"
#include "formats/iracing_recording.h"
#include "simulators/simulator.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view csv_about =
    "Writes one CSV line per frame: the seconds from the start of the recording, the tick, then\n"
    "each chosen variable (default: every one), arrays as Name[0], Name[1], ... Standard CSV\n"
    "(RFC 4180) that spreadsheets, pandas and R read as it is; floats in their shortest exact\n"
    "form, not-a-number as an empty field. --to is exclusive: the frame at that time is left\n"
    "out. For ACC: the seconds, then the page fields by name (physics.speedKmh,\n"
    "graphics.iCurrentTime, static.track), texts as text, enumerations as numbers.";

// One variable chosen for the table, looked up again by name whenever a
// frame's variable table changes.
struct ChosenVariable {
  std::string name;
  std::int32_t count = 1;  // columns, fixed by the first frame
  std::optional<iracing::VariableInfo> current;
};

std::vector<std::string> split_names(const std::string& list) {
  std::vector<std::string> names;
  std::istringstream in(list);
  for (std::string name; std::getline(in, name, ',');) {
    const auto first = name.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    names.push_back(name.substr(first, name.find_last_not_of(" \t") - first + 1));
  }
  return names;
}

std::string unknown_names_message(const std::vector<std::string>& unknown, const iracing::VariableTable& table) {
  std::vector<std::string> known;
  for (const auto& variable : table.variables()) known.push_back(variable.name);
  std::string message = "the recording has no variable ";
  message += quoted_with_close_matches(unknown, known);
  return message + "; 'dumptool vars FILE' lists them all";
}

// The columns from the first readable frame's table. Variables that cannot
// lie in the row are left out and reported.
std::vector<ChosenVariable> choose_variables(const iracing::VariableTable& table, std::size_t row_length,
                                             const std::optional<std::string>& wanted, DamageReport& damage) {
  std::vector<const iracing::VariableInfo*> picked;
  if (wanted) {
    std::vector<std::string> unknown;
    for (const auto& name : split_names(*wanted)) {
      const auto* variable = table.find(name);
      if (variable == nullptr) {
        unknown.push_back(name);
      } else {
        picked.push_back(variable);
      }
    }
    if (!unknown.empty()) throw UsageError(unknown_names_message(unknown, table));
    if (picked.empty()) throw UsageError("--vars names no variable");
  } else {
    for (const auto& variable : table.variables()) picked.push_back(&variable);
  }
  std::vector<ChosenVariable> chosen;
  for (const auto* variable : picked) {
    if (!variable->fits_row(row_length)) {
      damage.problem("variable '" + variable->name + "' does not lie within the data row; it is left out");
      continue;
    }
    chosen.push_back(ChosenVariable{variable->name, variable->count, *variable});
  }
  return chosen;
}

std::string header_line(const std::vector<ChosenVariable>& chosen) {
  std::string line = "seconds,tick";
  for (const auto& variable : chosen) {
    for (std::int32_t i = 0; i < variable.count; ++i) {
      line += ',';
      append_csv_field(line, variable.count == 1 ? variable.name : variable.name + "[" + std::to_string(i) + "]");
    }
  }
  return line += csv_line_end;
}

// After a change of the variable table, each column follows its name; a
// variable that is gone or does not fit leaves its fields empty.
void follow_table(std::vector<ChosenVariable>& chosen, const iracing::VariableTable& table, std::size_t frame,
                  DamageReport& damage) {
  for (auto& variable : chosen) {
    const auto* found = table.find(variable.name);
    if (found != nullptr) {
      variable.current = *found;
    } else {
      variable.current.reset();
    }
  }
  damage.warn("the variable table changes at frame " + std::to_string(frame) +
              "; columns follow their names, fields of variables missing there are empty");
}

void append_frame_line(std::string& line, const iracing::RecordingFrame& frame,
                       const std::vector<ChosenVariable>& chosen) {
  line.clear();
  append_shortest(line, frame.seconds);
  line += ',';
  line += std::to_string(frame.tick);
  const auto& row = frame.snapshot.row;
  for (const auto& variable : chosen) {
    const bool readable = variable.current && variable.current->fits_row(row.size());
    for (std::int32_t i = 0; i < variable.count; ++i) {
      line += ',';
      if (readable && i < variable.current->count) append_csv_value(line, row, *variable.current, i);
    }
  }
  line += csv_line_end;
}

// Puts OUT in place, or flushes standard output; `wrote`: a frame's line
// was written.
void finish_output(ReplacingFile* output, std::ostream& out, bool wrote) {
  if (output != nullptr) {
    if (!wrote) throw std::runtime_error("no frame of the range could be read, so nothing was written");
    commit_output(*output);
  } else {
    out.flush();
    if (!out) throw UsageError("Failed to write to standard output");
  }
}

int run_csv(CommandLine& command_line) {
  const auto& values = command_line.values();
  auto frames = open_recording(command_line.file());
  const acc::FieldSet* acc_set = acc::field_set(frames->header().source_id);
  const bool acc = acc_set != nullptr;
  if (!acc && payload_codec(frames->header().source_id) != PayloadCodec::iracing_snapshot) {
    throw UsageError("csv reads recordings of iRacing and ACC only, and this one's source is neither");
  }
  const FrameRange range = select_frames(*frames, values);
  std::optional<std::string> wanted;
  if (values.count("vars") != 0) wanted = values["vars"].as<std::string>();
  std::vector<const acc::Field*> acc_fields;
  if (acc) {
    std::optional<std::vector<std::string>> names;
    if (wanted) names = split_names(*wanted);
    acc_fields = choose_acc_fields(*acc_set, names);  // before any output is created
  }

  std::unique_ptr<ReplacingFile> output;
  if (values.count("output") != 0) {
    output = create_output(command_line.file(), values["output"].as<std::string>(), values.count("force") != 0);
  }
  std::ostream& out = output ? output->stream() : std::cout;

  DamageReport damage(*frames, range.end, std::cerr);
  if (acc) {
    const bool wrote = write_acc_csv(*frames, range, *acc_set, acc_fields, out, damage);
    finish_output(output.get(), out, wrote);
    return damage.finish();
  }
  FrameProgress progress("csv", range.end - range.first);
  iracing::RecordingWalk walk(*frames, range.first, range.end);
  std::vector<ChosenVariable> chosen;
  bool started = false;
  std::string line;
  for (;;) {
    const iracing::RecordingFrame* frame = damage.next_readable(walk);
    if (frame == nullptr) break;
    if (!started) {
      chosen = choose_variables(walk.variables(), frame->snapshot.row.size(), wanted, damage);
      out << header_line(chosen);
      started = true;
    } else if (walk.variables_changed()) {
      follow_table(chosen, walk.variables(), frame->number, damage);
    }
    append_frame_line(line, *frame, chosen);
    out << line;
    if (!out) break;  // a full disk: reported by the commit
    progress.update(walk.position() - range.first);
  }
  progress.clear();
  finish_output(output.get(), out, started);
  return damage.finish();
}

}  // namespace

}  // namespace dumptool

int run_csv_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("csv FILE [--vars NAME,NAME...] [--from S] [--to S] [-o OUT [--force]]", csv_about);
  command_line.add_options()("vars", options::value<std::string>(),
                             "the variables to write, separated by commas (default: all)")(
      "from", options::value<double>(), "start at this many seconds into the recording (default: 0)")(
      "to", options::value<double>(), "stop before this many seconds (default: the end)")(
      "output,o", options::value<std::string>(), "write to OUT instead of standard output")(
      "force", "replace OUT when it exists");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_csv(command_line); });
}

}  // namespace vove
