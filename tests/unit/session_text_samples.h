// The session texts of tests/data/session_text/, which the query tests and
// tools/check_session_query.sh share: the reference's example text and one
// with the departures from YAML the simulator's texts are known for.
#pragma once

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace vove::session_text_test {

inline std::string sample(const std::string& name) {
  const std::string path = std::string(VOVE_SESSION_TEXTS_DIR) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open the test text " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string reference_example() { return sample("reference_example.yaml"); }
inline std::string quirks() { return sample("quirks.yaml"); }

}  // namespace vove::session_text_test
