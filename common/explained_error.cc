#include "common/explained_error.h"

#include <system_error>

#include "common/console_texts.h"

namespace vove {

std::string reason_line(const platform::Failure& failure) {
  if (failure.empty()) return {};
  std::string line = "Reason: " + failure.reason;
  if (!failure.object.empty()) line += " (" + failure.object + ")";
  return line;
}

platform::Failure file_failure(int error, const std::string& path) {
  if (error == 0) return {};
  platform::Failure failure;
  failure.code = std::error_code(error, std::generic_category());
  failure.reason = failure.code.message();
  failure.object = "file " + path;
  return failure;
}

ExplainedError<std::runtime_error> platform_error(const std::string& message, const platform::Failure& failure) {
  return ExplainedError<std::runtime_error>(message, reason_line(failure));
}

void report_error(std::ostream& out, const std::exception& error) {
  out << console_text::error_heading << error.what() << std::endl;
  const auto* explained = dynamic_cast<const ErrorExplanation*>(&error);
  if (explained != nullptr && !explained->explanation().empty()) out << explained->explanation() << std::endl;
}

}  // namespace vove
