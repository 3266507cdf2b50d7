// dumptool vars: the variable table an iRacing recording carries.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/damage_report.h"
#include "dumptool/frame_progress.h"
#include "formats/ac_field_sets.h"
#include "formats/iracing_recording.h"
#include "simulators/simulator.h"

namespace vove {

namespace dumptool {

namespace {

constexpr std::string_view vars_about =
    "Lists the iRacing variable table as the first frame carries it: name, type, count, unit\n"
    "and description, one variable a line. Every later frame is read too, and a frame whose\n"
    "table differs from the one before it is reported after the list. For an ACC recording:\n"
    "the fields of its three pages (page, name, type, count, offset, unit, description).";

// Changes beyond this many are counted, not listed.
constexpr std::size_t listed_changes = 20;

void print_table(std::ostream& out, const iracing::VariableTable& table) {
  std::size_t name_width = 4;
  std::size_t unit_width = 4;
  for (const auto& variable : table.variables()) {
    name_width = std::max(name_width, variable.name.size());
    unit_width = std::max(unit_width, variable.unit.size());
  }
  const auto pad = [](const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
  };
  out << pad("Name", name_width) << "  " << pad("Type", 8) << "  " << pad("Count", 5) << "  " << pad("Unit", unit_width)
      << "  Description\n";
  for (const auto& variable : table.variables()) {
    out << pad(printable_text(variable.name), name_width) << "  "
        << pad(std::string(iracing::variable_type_name(variable.type)), 8) << "  "
        << pad(std::to_string(variable.count), 5) << "  " << pad(printable_text(variable.unit), unit_width) << "  "
        << printable_text(variable.description) << '\n';
  }
}

std::vector<std::string> names_only_in(const iracing::VariableTable& table, const iracing::VariableTable& other) {
  std::vector<std::string> names;
  for (const auto& variable : table.variables()) {
    if (other.find(variable.name) == nullptr) names.push_back(printable_text(variable.name));
  }
  return names;
}

std::string change_text(const iracing::RecordingFrame& frame, const iracing::VariableTable& before,
                        const iracing::VariableTable& after) {
  std::string text = "Frame " + std::to_string(frame.number) + " (" + seconds_text(frame.seconds) +
                     " s): the variable table changes to " + std::to_string(after.variables().size()) + " variables";
  const auto list = [](const std::vector<std::string>& names) {
    std::string joined;
    for (std::size_t i = 0; i < names.size() && i < 8; ++i) joined += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > 8) joined += ", ...";
    return joined;
  };
  const auto added = names_only_in(after, before);
  const auto removed = names_only_in(before, after);
  if (!added.empty()) text += "; added " + list(added);
  if (!removed.empty()) text += "; removed " + list(removed);
  if (added.empty() && removed.empty()) text += "; the same names, laid out or described differently";
  return text;
}

// The pages of ACC and its kin have a fixed layout, the same in every frame.
void print_acc_fields(const acc::FieldSet& set, std::ostream& out) {
  std::size_t name_width = 4;
  std::size_t unit_width = 4;
  for (const acc::Field& field : set.fields) {
    name_width = std::max(name_width, field.name.size());
    unit_width = std::max(unit_width, field.unit.size());
  }
  const auto pad = [](std::string_view text, std::size_t width) {
    return std::string(text) + std::string(width > text.size() ? width - text.size() : 0, ' ');
  };
  out << pad("Page", 8) << "  " << pad("Name", name_width) << "  " << pad("Type", 5) << "  " << pad("Count", 5) << "  "
      << pad("Offset", 6) << "  " << pad("Unit", unit_width) << "  Description\n";
  for (const acc::Field& field : set.fields) {
    const std::string count = field.inner_count > 1 ? std::to_string(field.count / field.inner_count) + "x" +
                                                          std::to_string(field.inner_count)
                                                    : std::to_string(field.count);
    out << pad(acc::page_name(field.page), 8) << "  " << pad(field.name, name_width) << "  "
        << pad(acc::field_type_name(field.type), 5) << "  " << pad(count, 5) << "  "
        << pad(std::to_string(field.offset), 6) << "  " << pad(field.unit, unit_width) << "  " << field.description
        << '\n';
  }
}

int run_vars(const CommandLine& command_line) {
  auto frames = open_recording(command_line.file());
  if (const acc::FieldSet* set = acc::field_set(frames->header().source_id)) {
    print_acc_fields(*set, std::cout);
    std::cout.flush();
    // The index's damage still counts, as for every command.
    DamageReport damage(*frames, frames->size(), std::cerr);
    return damage.finish();
  }
  if (payload_codec(frames->header().source_id) != PayloadCodec::iracing_snapshot) {
    throw UsageError("vars reads recordings of iRacing and ACC only, and this one's source is neither");
  }
  DamageReport damage(*frames, frames->size(), std::cerr);
  FrameProgress progress("vars", frames->size());
  iracing::RecordingWalk walk(*frames);
  iracing::VariableTable previous;
  std::vector<std::string> changes;
  std::size_t unlisted_changes = 0;
  bool printed = false;
  for (;;) {
    const iracing::RecordingFrame* frame = damage.next_readable(walk);
    if (frame == nullptr) break;
    if (!printed) {
      progress.clear();
      print_table(std::cout, walk.variables());
      printed = true;
    } else if (walk.variables_changed()) {
      if (changes.size() < listed_changes) {
        changes.push_back(change_text(*frame, previous, walk.variables()));
      } else {
        ++unlisted_changes;
      }
    }
    if (walk.variables_changed()) previous = walk.variables();
    progress.update(walk.position());
  }
  progress.clear();
  if (!printed) damage.problem("no frame could be read, so there is no variable table to show");
  for (const auto& change : changes) std::cout << change << '\n';
  if (unlisted_changes > 0) std::cout << "(and " << unlisted_changes << " more changes)\n";
  std::cout.flush();
  return damage.finish();
}

}  // namespace

}  // namespace dumptool

int run_vars_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("vars FILE", vars_about);
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_vars(command_line); });
}

}  // namespace vove
