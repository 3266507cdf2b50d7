// The titles whose pages follow ACC's layout in whole or in part, each with
// the fields of ACC's decoding (formats/acc_fields.h) that serve it:
//   ACC                the three pages, as recorded in ACC's 3700-byte frame;
//   Assetto Corsa 1    ACC's fields up to the end of each of AC1's pages,
//                      except the graphics page from offset 252, where AC1
//                      has fields of its own; recorded as named objects;
//   Assetto Corsa EVO  ACC's physics page; EVO's graphics and static pages
//                      have layouts of their own that this build does not
//                      decode.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "common/source_id.h"
#include "formats/acc_fields.h"

namespace vove::acc {

struct FieldSet {
  SourceId source_id;
  std::string_view title;  // "ACC", "Assetto Corsa 1"
  std::span<const Field> fields;
  // The pages' names in a named-object frame; empty for ACC's own frame.
  std::string_view graphics_name, physics_name, static_name;
};

// The set for recordings of `id`; none for a source of another layout.
const FieldSet* field_set(const SourceId& id);

// The pages of one frame of `set`, views into `payload`, each as far as the
// frame holds it (a page the frame lacks is empty). Throws PayloadDamage
// for a named-object frame that does not read.
PageBytes pages_of_frame(const FieldSet& set, std::span<const std::uint8_t> payload);

}  // namespace vove::acc
