// Errors that carry a second line for the user. The programs print what()
// after "An error occurred: " as they always have, then the explanation on
// a line of its own: the operating system's reason for a failed platform
// call, or what a library's wording means in the user's terms.
#pragma once

#include <exception>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/platform/platform.h"

namespace vove {

class ErrorExplanation {
 public:
  // One line, without its line end; may be empty.
  const std::string& explanation() const noexcept { return text_; }

 protected:
  explicit ErrorExplanation(std::string text) noexcept : text_(std::move(text)) {}
  ErrorExplanation(const ErrorExplanation&) = default;
  ErrorExplanation& operator=(const ErrorExplanation&) = default;
  virtual ~ErrorExplanation() = default;

 private:
  std::string text_;
};

// `Error` (a standard exception) with an explanation; caught as `Error`.
template <typename Error>
class ExplainedError : public Error, public ErrorExplanation {
 public:
  ExplainedError(const std::string& message, std::string explanation)
      : Error(message), ErrorExplanation(std::move(explanation)) {}
};

// "Reason: <the system's words> (<the object>)"; empty when the failure
// says nothing.
std::string reason_line(const platform::Failure& failure);

// What the C library's `error` (an errno value) says about the file
// `path`; empty for 0, which means no system call was at fault.
platform::Failure file_failure(int error, const std::string& path);

// A std::runtime_error `message` for a platform call that failed as
// `failure` says.
ExplainedError<std::runtime_error> platform_error(const std::string& message, const platform::Failure& failure);

// The "An error occurred: " line and, when the error has one, its
// explanation on the next line.
void report_error(std::ostream& out, const std::exception& error);

}  // namespace vove
