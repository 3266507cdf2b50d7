// The fields of the three ACC pages by name, as the simulator's published
// layout gives them (graphics 1588, physics 800, static 820 bytes), and
// reading their values from page bytes of any length.
//
// Every read is bounded by the bytes it is given: a field whose end lies
// past them is absent (an older game's shorter page, a damaged frame), never
// read beyond. Values come little-endian through common/byte_coding.h.
// Texts are wchar_t arrays of the simulator's platform, UTF-16LE units,
// and are decoded to UTF-8 up to their first zero unit, or to the field's
// end when it has none; a unit that is no character becomes U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "formats/acc_pages.h"

namespace vove::acc {

enum class Page { graphics, physics, static_page };

// "graphics", "physics", "static": the prefix of a field's full name.
std::string_view page_name(Page page) noexcept;

enum class FieldType { int32, float32, utf16 };

// "int32", "float", "utf16".
std::string_view field_type_name(FieldType type) noexcept;

struct Field {
  Page page;
  std::string_view name;  // as the simulator's layout names it
  FieldType type;
  std::size_t count;        // values; for a text, its UTF-16 units
  std::size_t inner_count;  // 3 for an array of (x, y, z), else 1
  std::size_t offset;       // bytes from the start of the page
  std::string_view unit;    // a unit, an enumeration's name, or empty
  std::string_view description;

  constexpr std::size_t size() const noexcept { return count * (type == FieldType::utf16 ? 2 : 4); }
  // Whether `page_length` bytes of its page hold the whole field.
  constexpr bool fits(std::size_t page_length) const noexcept {
    return offset <= page_length && size() <= page_length - offset;
  }
  // Columns it takes in a table: one for a text, else one per value.
  constexpr std::size_t columns() const noexcept { return type == FieldType::utf16 ? 1 : count; }
  // "physics.speedKmh".
  std::string full_name() const;
  // The column's name: the full name, with "[i]" (or "[i][j]" for arrays of
  // triples) for arrays.
  std::string column_name(std::size_t column) const;
};

// Every field, graphics then physics then static, each page in offset order.
std::span<const Field> acc_fields() noexcept;

// The field named by its full name ("graphics.iCurrentTime"), or by its
// bare name when only one page has it ("speedKmh"); null when none is.
const Field* find_field(std::string_view name) noexcept;
// The field of `page` named `name`; null when it has none.
const Field* find_field(Page page, std::string_view name) noexcept;
// The same among `fields`, a set of another title (formats/ac_field_sets.h).
const Field* find_field(std::span<const Field> fields, std::string_view name) noexcept;
const Field* find_field(std::span<const Field> fields, Page page, std::string_view name) noexcept;

// The three pages of one recorded frame, each as far as the payload holds
// it (a payload shorter than 3700 bytes gives shorter or empty pages).
struct PageBytes {
  std::span<const std::uint8_t> graphics;
  std::span<const std::uint8_t> physics;
  std::span<const std::uint8_t> static_page;

  std::span<const std::uint8_t> of(Page page) const noexcept;
};
PageBytes pages_of_payload(std::span<const std::uint8_t> payload) noexcept;

// Value `index` of an int32 or float field; nothing when the field does not
// lie within `page`, when the index is out of range, or for a text. Floats
// come as they are: NaN and infinities stay what they are.
std::optional<std::int32_t> read_int(const Field& field, std::span<const std::uint8_t> page,
                                     std::size_t index = 0) noexcept;
std::optional<float> read_float(const Field& field, std::span<const std::uint8_t> page, std::size_t index = 0) noexcept;
// Either kind as a double; NaN when absent.
double read_number(const Field& field, std::span<const std::uint8_t> page, std::size_t index = 0) noexcept;
// A text field as UTF-8; nothing when absent or not a text.
std::optional<std::string> read_text(const Field& field, std::span<const std::uint8_t> page);

// UTF-16LE units in `bytes` (an odd last byte ignored) to UTF-8, up to the
// first zero unit.
std::string utf16le_to_utf8(std::span<const std::uint8_t> bytes);

// Shorthands for the fields the tools read most: the value of the named
// field of `page`, or nothing.
std::optional<std::int32_t> int_field(const PageBytes& pages, Page page, std::string_view name,
                                      std::size_t index = 0) noexcept;
std::optional<float> float_field(const PageBytes& pages, Page page, std::string_view name,
                                 std::size_t index = 0) noexcept;
std::string text_field(const PageBytes& pages, Page page, std::string_view name);  // empty when absent

// The player as the static page names them: "playerName playerSurname
// (playerNick)", with what is there; empty when none is.
std::string player_name(const PageBytes& pages);

// The enumerations the tools name: graphics.status (ACC_STATUS) and
// graphics.session (ACC_SESSION_TYPE). `enum_name` is the simulator's name
// ("ACC_LIVE"), `title` how a person reads it ("Live"); both empty for a
// value the enumeration does not have.
struct EnumValue {
  std::string_view enum_name;
  std::string_view title;
};
EnumValue status_value(std::int32_t status) noexcept;
EnumValue session_type_value(std::int32_t session) noexcept;

inline constexpr std::int32_t status_live = 2;

}  // namespace vove::acc
