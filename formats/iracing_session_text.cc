#include "formats/iracing_session_text.h"

#include <algorithm>

namespace vove::iracing {

namespace {

constexpr std::size_t max_problems_kept = 5;

// One line of the text; `ended` is false for a last line without a line end.
struct TextLine {
  std::string_view bytes;
  bool ended = false;
};

// Hands out the lines of a text. CR, LF and CR LF each end one line; the
// scan skips the empty line a CR LF would otherwise make, so counting the
// pair as one changes no answer and keeps line numbers as editors show them.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) noexcept : text_(text) {}

  bool next(TextLine& line) noexcept {
    if (position_ >= text_.size()) return false;
    const std::size_t end = text_.find_first_of("\r\n", position_);
    if (end == std::string_view::npos) {
      line = {text_.substr(position_), false};
      position_ = text_.size();
      return true;
    }
    line = {text_.substr(position_, end - position_), true};
    position_ = end + 1;
    if (text_[end] == '\r' && position_ < text_.size() && text_[position_] == '\n') ++position_;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

// A line as the scan splits it.
struct ScannedLine {
  std::size_t depth = 0;  // leading spaces and dashes
  bool blank = false;     // nothing but colons (or nothing): the scan passes it over
  std::string_view key;   // up to and including the first colon; empty: none
  std::string_view value;
};

ScannedLine scan_line(std::string_view line) noexcept {
  ScannedLine scanned;
  // Leading colons are neither depth nor key; a line of only colons counts
  // as empty, so it cannot end a scan by its depth.
  std::size_t start = 0;
  while (start < line.size() && (line[start] == ' ' || line[start] == '-' || line[start] == ':')) {
    if (line[start] != ':') ++scanned.depth;
    ++start;
  }
  if (start == line.size()) {
    scanned.blank = scanned.depth == 0;
    return scanned;
  }
  const std::size_t colon = line.find(':', start);
  if (colon == std::string_view::npos) {
    scanned.key = line.substr(start);
    return scanned;
  }
  scanned.key = line.substr(start, colon + 1 - start);
  std::size_t value = colon + 1;
  while (value < line.size() && line[value] == ' ') ++value;
  if (value == line.size()) return scanned;
  // A value that starts with a colon comes out one character short of the
  // line's end: the SDK starts it there without counting that colon.
  const std::size_t length = line.size() - value - (line[value] == ':' ? 1 : 0);
  scanned.value = line.substr(value, length);
  return scanned;
}

}  // namespace

std::string_view session_text_in(std::string_view area) noexcept {
  return area.substr(0, std::min(area.find('\0'), area.size()));
}

std::optional<std::string_view> query_session_text(std::string_view text, std::string_view path) noexcept {
  text = session_text_in(text);
  path = session_text_in(path);  // a client's path is a C string
  std::string_view rest = path;
  std::size_t matched_depth = 0;
  LineCursor cursor(text);
  TextLine line;
  while (cursor.next(line) && line.ended) {
    const ScannedLine scanned = scan_line(line.bytes);
    if (scanned.blank) continue;
    if (scanned.depth < matched_depth) return std::nullopt;
    if (scanned.key.empty() || !rest.starts_with(scanned.key)) continue;
    std::string_view after = rest.substr(scanned.key.size());
    if (after.starts_with('{')) {
      const std::size_t close = after.find('}');
      if (close == std::string_view::npos || after.substr(1, close - 1) != scanned.value) continue;
      after.remove_prefix(close + 1);
    }
    rest = after;
    matched_depth = scanned.depth;
    if (rest.empty()) return scanned.value;
  }
  return std::nullopt;
}

SessionTextProblems check_session_text(std::string_view text) {
  SessionTextProblems problems;
  std::size_t line_number = 0;
  const auto problem = [&](std::string why) {
    ++problems.lines;
    if (problems.first.size() < max_problems_kept) {
      problems.first.push_back("line " + std::to_string(line_number) + ": " + why);
    }
  };
  LineCursor cursor(session_text_in(text));
  TextLine line;
  while (cursor.next(line)) {
    ++line_number;
    const std::size_t start = line.bytes.find_first_not_of(' ');
    if (start == std::string_view::npos) continue;
    const std::string_view content = line.bytes.substr(start);
    // The document markers and comments are no keys, and need none.
    if (content == "---" || content == "..." || content.front() == '#') continue;
    if (content.find_first_not_of(" -") == std::string_view::npos) continue;  // a list item's dash alone
    if (!line.ended) {
      problem("the last line has no line end, so no query reads it");
    } else if (content.front() == '\t') {
      problem("indented with a tab, which becomes part of its key");
    } else if (content.find(':') == std::string_view::npos) {
      problem("no 'key: value' in '" + std::string(content.substr(0, 40)) + "'");
    }
  }
  return problems;
}

}  // namespace vove::iracing
