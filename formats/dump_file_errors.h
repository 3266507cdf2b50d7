// The errors of reading and writing dump files. Each says what kind of
// failure it is, on which file and with which system error, beside the text
// the user sees; callers decide by the kind, never by which standard
// exception type happens to carry it.
#pragma once

#include <ios>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "common/console_texts.h"
#include "common/explained_error.h"
#include "common/platform/platform.h"

namespace vove {

enum class DumpErrorKind {
  not_a_dump,  // the file does not start with a whole dump header
  damaged,     // a record or the frame it holds cannot be read
  io,          // the system could not open, read or write the file
};

// The kind, the file and the system's error of a dump failure.
class DumpErrorFacts {
 public:
  DumpErrorKind kind() const noexcept { return kind_; }
  // The file as the user named it; empty where only a stream was at hand.
  const std::string& file() const noexcept { return *file_; }
  // errno through std::generic_category(); empty when no system call was at
  // fault (a damaged record, a stream that failed on its own).
  const std::error_code& system_code() const noexcept { return code_; }

 protected:
  DumpErrorFacts(DumpErrorKind kind, std::string file, std::error_code code)
      : kind_(kind), file_(std::make_shared<const std::string>(std::move(file))), code_(code) {}
  DumpErrorFacts(const DumpErrorFacts&) noexcept = default;  // an exception copies without throwing
  DumpErrorFacts& operator=(const DumpErrorFacts&) noexcept = default;
  ~DumpErrorFacts() = default;

 private:
  DumpErrorKind kind_;
  std::shared_ptr<const std::string> file_;
  std::error_code code_;
};

// A dump that could not be read: what() is the text the user sees, the
// explanation (often empty) a second line.
class DumpInputError : public std::runtime_error, public ErrorExplanation, public DumpErrorFacts {
 public:
  DumpInputError(DumpErrorKind kind, const std::string& message, std::string file = {}, std::error_code code = {},
                 std::string explanation = {})
      : std::runtime_error(message),
        ErrorExplanation(std::move(explanation)),
        DumpErrorFacts(kind, std::move(file), code) {}
};

// what() is "Failed to <action> the file <name>: iostream stream error" on
// every standard library, whose own texts for the stream error category
// differ; the system's reason, when there is one, is the explanation line.
class DumpFileError : public std::ios_base::failure, public ErrorExplanation, public DumpErrorFacts {
 public:
  DumpFileError(const std::string& action, const std::string& name, const platform::Failure& reason)
      : std::ios_base::failure("Failed to " + action + " the file " + name, std::io_errc::stream),
        ErrorExplanation(reason_line(reason)),
        DumpErrorFacts(DumpErrorKind::io, name, reason.code),
        message_("Failed to " + action + " the file " + name + ": iostream stream error") {}

  const char* what() const noexcept override { return message_.what(); }

 private:
  std::runtime_error message_;  // copies without throwing, unlike a string
};

// The stream a dump was read from failed, with no more to say.
[[noreturn]] inline void throw_dump_read_failed() {
  throw DumpInputError(DumpErrorKind::io, std::string(console_text::read_failed));
}

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

}  // namespace vove
