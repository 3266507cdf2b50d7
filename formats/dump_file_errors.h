// The errors that name the dump file they concern.
#pragma once

#include <ios>
#include <stdexcept>
#include <string>

// what() is "Failed to <action> the file <name>: iostream stream error" on
// every standard library, whose own texts for the stream error category
// differ.
class DumpFileError : public std::ios_base::failure {
 public:
  DumpFileError(const std::string& action, const std::string& name)
      : std::ios_base::failure("Failed to " + action + " the file " + name, std::io_errc::stream),
        message_("Failed to " + action + " the file " + name + ": iostream stream error") {}

  const char* what() const noexcept override { return message_.what(); }

 private:
  std::runtime_error message_;  // copies without throwing, unlike a string
};

// The dump file could not be created or opened for writing.
class DumpFileOpenError : public DumpFileError {
 public:
  explicit DumpFileOpenError(const std::string& name) : DumpFileError("open", name) {}
};

// Writing or closing the dump file failed; it has been cut to its header and
// complete records.
class DumpFileWriteError : public DumpFileError {
 public:
  explicit DumpFileWriteError(const std::string& name) : DumpFileError("write", name) {}
};
