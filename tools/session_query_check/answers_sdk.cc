// The same answers as answers_ours.cc, from the SDK's own scan: compiled by
// tools/check_session_query.sh together with the SDK's yaml_parser.cpp as
// the npm package ships it, never kept in this repository.
//
//   answers_sdk TEXT PATHS
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

bool parseYaml(const char* data, const char* path, const char** val, int* len);

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: answers_sdk TEXT PATHS\n";
    return 1;
  }
  std::ifstream text_file(argv[1], std::ios::binary);
  std::ifstream paths(argv[2], std::ios::binary);
  if (!text_file || !paths) {
    std::cerr << "cannot open " << (text_file ? argv[2] : argv[1]) << '\n';
    return 1;
  }
  // The scan needs the zero byte a published text ends with.
  const std::string text{std::istreambuf_iterator<char>(text_file), std::istreambuf_iterator<char>()};
  std::string path;
  while (std::getline(paths, path)) {
    const char* value = nullptr;
    int length = 0;
    if (parseYaml(text.c_str(), path.c_str(), &value, &length)) {
      std::cout << "found " << std::string(value, static_cast<std::size_t>(length)) << '\n';
    } else {
      std::cout << "not found\n";
    }
  }
  return 0;
}
