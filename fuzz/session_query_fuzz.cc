// Session texts and query paths from the fuzzer: the input's first line is
// the path, the rest the text (zero bytes and all). The query and the check
// of the text read it without reading outside it, in time linear in its
// length; a value found lies inside the text, on one line, and the summary
// built from the same text does not fail.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dumptool/session_summary.h"
#include "formats/iracing_session_text.h"
#include "fuzz_support.h"

using namespace vove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string_view path = input.substr(0, line_end);
  const std::string_view text = line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

  if (const auto value = iracing::query_session_text(text, path)) {
    const std::string_view seen = iracing::session_text_in(text);
    if (!value->empty()) {
      const auto offset = static_cast<std::size_t>(value->data() - seen.data());
      fuzz::check(offset < seen.size() && value->size() <= seen.size() - offset,
                  "a value lies inside the text up to its first zero byte");
    }
    fuzz::check(value->find_first_of("\r\n") == std::string_view::npos, "a value is on one line");
  }
  const iracing::SessionTextProblems problems = iracing::check_session_text(text);
  fuzz::check(problems.first.size() <= problems.lines && problems.first.size() <= 5, "a few problems are named");
  const SessionSummary summary = summarise_session(text, 1);
  fuzz::check(summary.has_text == !iracing::session_text_in(text).empty(), "the summary sees the text the query sees");
  return 0;
}
