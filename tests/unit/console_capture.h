// Captures what code under test prints to std::cout and std::cerr.
#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace vove {

class ConsoleCapture {
 public:
  ConsoleCapture() : old_out_(std::cout.rdbuf(out_.rdbuf())), old_err_(std::cerr.rdbuf(err_.rdbuf())) {}
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  ~ConsoleCapture() {
    std::cout.rdbuf(old_out_);
    std::cerr.rdbuf(old_err_);
  }

  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }

 private:
  std::ostringstream out_;
  std::ostringstream err_;
  std::streambuf* old_out_;
  std::streambuf* old_err_;
};

// What a command printed and the code it returned.
struct CommandRun {
  int code = 0;
  std::string out;
  std::string err;
};

inline CommandRun run_captured(int (*command)(const std::vector<std::string>&),
                               const std::vector<std::string>& arguments) {
  ConsoleCapture console;
  const int code = command(arguments);
  return {code, console.out(), console.err()};
}

}  // namespace vove
