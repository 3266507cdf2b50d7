// Answers every query path of PATHS (one a line) in the session text TEXT
// with our reader, one line each: "found <value>" or "not found".
// tools/check_session_query.sh compares this with the SDK's own scan.
//
//   session_query_answers TEXT PATHS
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "formats/iracing_session_text.h"

using namespace vove;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: session_query_answers TEXT PATHS\n";
    return 1;
  }
  std::ifstream text_file(argv[1], std::ios::binary);
  std::ifstream paths(argv[2], std::ios::binary);
  if (!text_file || !paths) {
    std::cerr << "cannot open " << (text_file ? argv[2] : argv[1]) << '\n';
    return 1;
  }
  const std::string text{std::istreambuf_iterator<char>(text_file), std::istreambuf_iterator<char>()};
  std::string path;
  while (std::getline(paths, path)) {
    const auto value = iracing::query_session_text(text, path);
    if (value) {
      std::cout << "found " << *value << '\n';
    } else {
      std::cout << "not found\n";
    }
  }
  return 0;
}
