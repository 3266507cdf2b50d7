// Counts what the unit tests allocate through operator new, in every build:
// the global allocation operators of this test program are replaced (in
// allocation_counter.cc), so a bound on allocations is checked whether or
// not a sanitizer is there to watch.
#pragma once

#include <cstddef>

namespace vove::allocation_counter {

struct Counts {
  std::size_t allocations = 0;  // calls since the last reset
  std::size_t largest = 0;      // bytes of the largest of them
};

void reset() noexcept;
Counts counts() noexcept;

}  // namespace vove::allocation_counter
