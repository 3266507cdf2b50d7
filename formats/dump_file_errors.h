// The errors that name the dump file they concern.
#pragma once

#include <ios>
#include <stdexcept>
#include <string>

#include "common/explained_error.h"
#include "common/platform/platform.h"

// what() is "Failed to <action> the file <name>: iostream stream error" on
// every standard library, whose own texts for the stream error category
// differ; the system's reason, when there is one, is the explanation line.
class DumpFileError : public std::ios_base::failure, public ErrorExplanation {
 public:
  DumpFileError(const std::string& action, const std::string& name, const platform::Failure& reason)
      : std::ios_base::failure("Failed to " + action + " the file " + name, std::io_errc::stream),
        ErrorExplanation(reason_line(reason)),
        message_("Failed to " + action + " the file " + name + ": iostream stream error") {}

  const char* what() const noexcept override { return message_.what(); }

 private:
  std::runtime_error message_;  // copies without throwing, unlike a string
};

// The dump file could not be created or opened for writing.
class DumpFileOpenError : public DumpFileError {
 public:
  explicit DumpFileOpenError(const std::string& name, const platform::Failure& reason = {})
      : DumpFileError("open", name, reason) {}
};

// Writing or closing the dump file failed; it has been cut to its header and
// complete records.
class DumpFileWriteError : public DumpFileError {
 public:
  explicit DumpFileWriteError(const std::string& name, const platform::Failure& reason = {})
      : DumpFileError("write", name, reason) {}
};
