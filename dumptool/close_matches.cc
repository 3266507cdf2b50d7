#include "dumptool/close_matches.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <utility>

namespace vove::dumptool {

namespace {

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// Levenshtein distance with one row of memory; names are short.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::vector<std::string> close_matches(std::string_view name, const std::vector<std::string>& candidates,
                                       std::size_t limit) {
  const std::string wanted = lower(name);
  const std::size_t allowed = std::max<std::size_t>(2, wanted.size() / 3);
  std::vector<std::pair<std::size_t, const std::string*>> scored;
  for (const std::string& candidate : candidates) {
    const std::string known = lower(candidate);
    std::size_t score = edit_distance(wanted, known);
    const bool contains = !wanted.empty() && (known.find(wanted) != std::string::npos ||
                                              (wanted.size() >= 3 && wanted.find(known) != std::string::npos));
    if (contains) score = std::min<std::size_t>(score, allowed);
    if (score <= allowed) scored.emplace_back(score, &candidate);
  }
  std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> result;
  for (const auto& [score, candidate] : scored) {
    if (result.size() == limit) break;
    if (std::find(result.begin(), result.end(), *candidate) == result.end()) result.push_back(*candidate);
  }
  return result;
}

std::string quoted_with_close_matches(const std::vector<std::string>& unknown, const std::vector<std::string>& known) {
  std::string text;
  for (std::size_t i = 0; i < unknown.size(); ++i) {
    if (i > 0) text += ", ";
    text += "'" + unknown[i] + "'";
    const auto matches = close_matches(unknown[i], known);
    if (!matches.empty()) {
      text += " (close: ";
      for (std::size_t j = 0; j < matches.size(); ++j) text += (j > 0 ? ", " : "") + matches[j];
      text += ")";
    }
  }
  return text;
}

}  // namespace vove::dumptool
