// Gives a test its own namespace of shared-memory names (VOVE_NAME_PREFIX),
// so that test runs at the same time never meet; cleared when the test ends.
#pragma once

#include <cstdlib>
#include <random>
#include <string>

namespace vove {

class ScopedNamePrefix {
 public:
  ScopedNamePrefix() : ScopedNamePrefix(unique()) {}
  explicit ScopedNamePrefix(const std::string& prefix) : prefix_(prefix), assignment_("VOVE_NAME_PREFIX=" + prefix) {
    ::putenv(assignment_.data());  // keeps the string itself, which lives as long as this
  }
  ScopedNamePrefix(const ScopedNamePrefix&) = delete;
  ScopedNamePrefix& operator=(const ScopedNamePrefix&) = delete;
  ~ScopedNamePrefix() {
    static char cleared[] = "VOVE_NAME_PREFIX=";  // an empty prefix is no prefix
    ::putenv(cleared);
  }

  const std::string& prefix() const { return prefix_; }

 private:
  // Unique to this process (standard C++ knows no process id) and this test.
  static std::string unique() {
    static const auto process = std::random_device{}();
    static int next = 0;
    return "vovetest_" + std::to_string(process) + "_" + std::to_string(next++) + "_";
  }

  std::string prefix_;
  std::string assignment_;
};

}  // namespace vove
