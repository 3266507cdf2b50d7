#include "dumptool/acc_csv.h"

#include "dumptool/acc_frame_reader.h"
#include "dumptool/close_matches.h"
#include "dumptool/csv_format.h"
#include "dumptool/frame_progress.h"

namespace vove::dumptool {

namespace {

std::string unknown_fields_message(const acc::FieldSet& set, const std::vector<std::string>& unknown) {
  std::vector<std::string> known;
  for (const acc::Field& field : set.fields) {
    known.push_back(field.full_name());
    known.emplace_back(field.name);
  }
  std::string message =
      std::string(set.title == "ACC" ? "an " : "a ") + std::string(set.title) + " recording has no field ";
  message += quoted_with_close_matches(unknown, known);
  return message + "; fields are named PAGE.NAME, such as physics.speedKmh; 'dumptool vars FILE' lists them all";
}

}  // namespace

std::vector<const acc::Field*> choose_acc_fields(const acc::FieldSet& set,
                                                 const std::optional<std::vector<std::string>>& wanted) {
  std::vector<const acc::Field*> fields;
  if (!wanted) {
    for (const acc::Field& field : set.fields) fields.push_back(&field);
    return fields;
  }
  std::vector<std::string> unknown;
  for (const std::string& name : *wanted) {
    const acc::Field* field = acc::find_field(set.fields, name);
    if (field == nullptr) {
      unknown.push_back(name);
    } else {
      fields.push_back(field);
    }
  }
  if (!unknown.empty()) throw UsageError(unknown_fields_message(set, unknown));
  if (fields.empty()) throw UsageError("--vars names no field");
  return fields;
}

bool write_acc_csv(DumpFrames& frames, const FrameRange& range, const acc::FieldSet& set,
                   const std::vector<const acc::Field*>& fields, std::ostream& out, DamageReport& damage) {
  std::string line = "seconds";
  for (const acc::Field* field : fields) {
    for (std::size_t column = 0; column < field->columns(); ++column) {
      line += ',';
      append_csv_field(line, field->column_name(column));
    }
  }
  out << line << csv_line_end;

  FrameProgress progress("csv", range.end - range.first);
  AccFrameReader reader(frames, set, damage);
  bool wrote = false;
  for (std::size_t frame = range.first; frame < range.end && out; ++frame) {
    progress.update(frame - range.first);
    const auto pages = reader.read(frame);
    if (!pages) continue;
    line.clear();
    append_shortest(line, frames.seconds_of(frame));
    for (const acc::Field* field : fields) {
      const auto page = pages->of(field->page);
      for (std::size_t column = 0; column < field->columns(); ++column) {
        line += ',';
        append_acc_value(line, *field, page, column);
      }
    }
    line += csv_line_end;
    out << line;
    wrote = true;
  }
  progress.clear();
  return wrote;
}

}  // namespace vove::dumptool
