// The message of the error a piece of code under test throws.
#pragma once

#include <stdexcept>
#include <string>

namespace vove {

// The message of the `Error` that `action` throws; empty when it throws none.
template <class Error = std::runtime_error, class Action>
std::string message_of(Action action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

}  // namespace vove
