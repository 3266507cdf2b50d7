// Which release a program belongs to and which commit it was built from,
// for --version and the first line of --help.
#pragma once

#include <string>
#include <string_view>

namespace vove {

// The version of the project, as in "0.1.0".
std::string_view vove_version() noexcept;

// The commit the programs were built from, with "-dirty" when the checkout
// had changes; empty when they were not built from a git checkout.
std::string_view vove_build_commit() noexcept;

// What --version prints: "<program> <version>".
std::string version_line(std::string_view program);

// The first line of --help: the version line, and the commit when known.
std::string help_heading(std::string_view program);

}  // namespace vove
