// What the fuzz targets share: a private name prefix for the shared memory
// they create, and a check that stops the run with a message.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vove::fuzz {

// Every name this process creates gets a prefix of its own, unless the
// caller chose one, so that fuzzers running side by side never meet.
inline void use_private_names() {
  if (std::getenv("VOVE_NAME_PREFIX") == nullptr) {
    const std::string prefix = "vove_fuzz_" + std::to_string(::getpid()) + "_";
    ::setenv("VOVE_NAME_PREFIX", prefix.c_str(), 1);
  }
}

// A broken promise is a finding: abort, so the fuzzer keeps the input.
inline void check(bool holds, const char* promise) {
  if (!holds) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
  }
}

}  // namespace vove::fuzz
