// Turns the bytes a terminal sends for typed keys into keys. Arrow keys
// arrive as escape sequences ("ESC [ C", or "ESC O C" in application mode),
// possibly split across reads, so the decoder keeps a partial sequence.
#pragma once

#include <optional>

#include "common/platform/platform.h"

namespace vove {

class ConsoleKeyDecoder {
 public:
  // The key `byte` completes, if any.
  std::optional<platform::ConsoleKey> feed(unsigned char byte) noexcept;

 private:
  enum class State { plain, escape, sequence };
  State state_ = State::plain;
};

}  // namespace vove
