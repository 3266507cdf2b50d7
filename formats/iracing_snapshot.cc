#include "formats/iracing_snapshot.h"

#include <cstring>
#include <stdexcept>

#include "common/byte_coding.h"
#include "formats/payload_damage.h"

namespace vove::iracing {

namespace {

// For the snapshot a caller built: breaking the invariants is its fault.
void require(bool condition, const char* message) {
  if (!condition) throw std::invalid_argument(message);
}

// For bytes from outside.
void require_intact(bool condition, const char* message) {
  if (!condition) throw PayloadDamage(message);
}

// Reads the payload front to back; every take checks the bytes are there.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

  std::size_t remaining() const noexcept { return bytes_.size() - position_; }

  std::span<const std::uint8_t> take(std::uint64_t count, const char* message) {
    require_intact(count <= remaining(), message);
    const auto part = bytes_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return part;
  }

  std::uint64_t take_u64(const char* message) { return coding::decode_u64(take(8, message).data()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace

std::vector<std::uint8_t> serialise_snapshot(const Snapshot& snapshot) {
  const std::int32_t declared_count = snapshot.header.variable_count;
  if (declared_count < 0) throw std::length_error("iRacing header declares a negative variable count");
  const auto count = static_cast<std::size_t>(declared_count);
  require(snapshot.variable_headers.size() == count,
          "iRacing snapshot holds a different number of variable headers than its header declares");
  require(snapshot.header.buffer_length >= 0 &&
              snapshot.row.size() == static_cast<std::size_t>(snapshot.header.buffer_length),
          "iRacing snapshot row length differs from its header's buffer length");

  const std::size_t text_length = snapshot.session_info.size();
  const std::size_t row_length = snapshot.row.size();
  std::vector<std::uint8_t> payload(payload_fixed_size + variable_header_size * count + text_length + row_length);
  std::uint8_t* out = payload.data();
  encode_memory_header(snapshot.header, std::span<std::uint8_t, memory_header_size>(out, memory_header_size));
  out += memory_header_size;
  for (const VariableHeader& entry : snapshot.variable_headers) {
    std::memcpy(out, entry.bytes.data(), variable_header_size);
    out += variable_header_size;
  }
  coding::encode_u64(out, text_length);
  out += 8;
  if (text_length > 0) std::memcpy(out, snapshot.session_info.data(), text_length);
  out += text_length;
  coding::encode_u64(out, row_length);
  out += 8;
  if (row_length > 0) std::memcpy(out, snapshot.row.data(), row_length);
  return payload;
}

Snapshot parse_snapshot(std::span<const std::uint8_t> payload) {
  PayloadReader reader(payload);
  Snapshot snapshot;
  const auto header_bytes = reader.take(memory_header_size, "iRacing payload is shorter than its header");
  snapshot.header = decode_memory_header(std::span<const std::uint8_t, memory_header_size>(header_bytes));

  const std::int32_t declared_count = snapshot.header.variable_count;
  require_intact(declared_count >= 0, "iRacing payload declares a negative variable count");
  const auto count = static_cast<std::uint64_t>(declared_count);
  // Checked before reserving, so a hostile count never drives an allocation.
  const auto entries =
      reader.take(variable_header_size * count, "iRacing payload is cut short in its variable headers");
  snapshot.variable_headers.resize(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < snapshot.variable_headers.size(); ++i)
    std::memcpy(snapshot.variable_headers[i].bytes.data(), entries.data() + variable_header_size * i,
                variable_header_size);

  const std::uint64_t text_length = reader.take_u64("iRacing payload is cut short before its session text length");
  const auto text = reader.take(text_length, "iRacing payload is cut short in its session text");
  snapshot.session_info.assign(text.begin(), text.end());

  const std::uint64_t row_length = reader.take_u64("iRacing payload is cut short before its row length");
  require_intact(
      snapshot.header.buffer_length >= 0 && row_length == static_cast<std::uint64_t>(snapshot.header.buffer_length),
      "iRacing payload row length differs from its header's buffer length");
  const auto row = reader.take(row_length, "iRacing payload is cut short in its data row");
  snapshot.row.assign(row.begin(), row.end());
  return snapshot;
}

}  // namespace vove::iracing
