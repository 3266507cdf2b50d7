// ACC page bytes of any length from the fuzzer, through the field decoder:
// the input is split into the three pages (its first two bytes choose where
// the physics and static pages start, so pages of every length occur, an
// older game's and AC1's among them), and every field of the table is read
// and formatted as csv writes it. Nothing may read past a page: a field
// reads back only when its page holds it whole, texts decode to valid
// UTF-8 no longer than their field allows, and whole frame payloads of any
// length are read the same way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dumptool/csv_format.h"
#include "formats/acc_fields.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

bool is_utf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

void decode_every_field(const acc::PageBytes& pages) {
  std::string line;
  for (const acc::Field& field : acc::acc_fields()) {
    const std::span<const std::uint8_t> page = pages.of(field.page);
    const bool whole = field.fits(page.size());
    for (std::size_t column = 0; column < field.columns(); ++column) {
      line.clear();
      dumptool::append_acc_value(line, field, page, column);
      if (!whole) fuzz::check(line.empty(), "a field its page does not hold is an empty CSV field");
    }
    if (field.type == acc::FieldType::utf16) {
      const auto text = acc::read_text(field, page);
      fuzz::check(text.has_value() == whole, "a text reads back exactly when its page holds it");
      if (text) {
        fuzz::check(is_utf8(*text), "a text decodes to valid UTF-8");
        fuzz::check(text->size() <= 3 * field.count, "a text is no longer than its field allows");
      }
    } else {
      fuzz::check(acc::read_float(field, page, field.count).has_value() == false, "no value past the array");
      fuzz::check(acc::read_float(field, page, 0).has_value() == whole, "a value reads back when its page holds it");
      acc::read_int(field, page, 0);
    }
  }
  acc::player_name(pages);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  // As a frame payload of whatever length.
  decode_every_field(acc::pages_of_payload(input));
  if (size < 2) return 0;
  // As three pages of the lengths the first two bytes choose.
  const std::span<const std::uint8_t> rest = input.subspan(2);
  const std::size_t physics_at = std::min(rest.size(), static_cast<std::size_t>(data[0]) * 8);
  const std::size_t static_at = std::min(rest.size(), physics_at + static_cast<std::size_t>(data[1]) * 4);
  const acc::PageBytes pages{rest.first(physics_at), rest.subspan(physics_at, static_at - physics_at),
                             rest.subspan(static_at)};
  decode_every_field(pages);
  return 0;
}
