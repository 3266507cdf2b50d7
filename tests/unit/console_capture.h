// Captures what code under test prints to std::cout and std::cerr.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

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

}  // namespace vove
