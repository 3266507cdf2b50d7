#include "common/version.h"

// Generated at build time from common/build_info.h.in.
#include "build_info.h"

namespace vove {

std::string_view vove_version() noexcept { return VOVE_VERSION; }

std::string_view vove_build_commit() noexcept { return VOVE_BUILD_COMMIT; }

std::string version_line(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += vove_version();
  return line;
}

std::string help_heading(std::string_view program) {
  std::string line = version_line(program);
  if (!vove_build_commit().empty()) {
    line += " (commit ";
    line += vove_build_commit();
    line += ')';
  }
  return line;
}

}  // namespace vove
