#include "common/console_key_decoder.h"

namespace vove {

using platform::ConsoleKey;

std::optional<ConsoleKey> ConsoleKeyDecoder::feed(unsigned char byte) noexcept {
  switch (state_) {
    case State::escape:
      if (byte == '[' || byte == 'O') {
        state_ = State::sequence;
        return std::nullopt;
      }
      state_ = State::plain;
      return ConsoleKey::other;
    case State::sequence:
      // Parameters and intermediates (0x20 to 0x3f) until the final byte.
      if (byte >= 0x20 && byte <= 0x3f) return std::nullopt;
      state_ = State::plain;
      return byte == 'C' ? ConsoleKey::right_arrow : ConsoleKey::other;
    case State::plain: break;
  }
  switch (byte) {
    case 0x1b: state_ = State::escape; return std::nullopt;
    case ' ': return ConsoleKey::space;
    case '.': return ConsoleKey::period;
    case '+': return ConsoleKey::plus;
    case '-': return ConsoleKey::minus;
    case 'q':
    case 'Q': return ConsoleKey::letter_q;
    default: return ConsoleKey::other;
  }
}

}  // namespace vove
