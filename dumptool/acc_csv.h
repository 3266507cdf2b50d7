// The CSV table of a recording of ACC or its kin (formats/ac_field_sets.h): one line per frame, the seconds from
// the start, then the chosen page fields by their full names.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "dumptool/command_support.h"
#include "dumptool/damage_report.h"
#include "formats/ac_field_sets.h"
#include "formats/dump_frames.h"

namespace vove::dumptool {

// The fields `wanted` names (full names, or bare names found on one page
// only), every field when nothing is wanted. UsageError for an unknown name,
// with close matches.
std::vector<const acc::Field*> choose_acc_fields(const acc::FieldSet& set,
                                                 const std::optional<std::vector<std::string>>& wanted);

// Writes the header and one line per readable frame of `range`; returns
// whether a line of values was written. Stops early when `out` fails.
bool write_acc_csv(DumpFrames& frames, const FrameRange& range, const acc::FieldSet& set,
                   const std::vector<const acc::Field*>& fields, std::ostream& out, DamageReport& damage);

}  // namespace vove::dumptool
