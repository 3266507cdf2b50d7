// Command-line parsing shared by the two programs.
#pragma once

#include <boost/program_options.hpp>

namespace vove {

// Parses `argv` against `table` into `values`; throws the library's errors.
// No positional arguments are declared: an empty table makes the library
// reject a stray word instead of silently dropping it.
inline void store_command_line(int argc, const char* const* argv,
                               const boost::program_options::options_description& table,
                               boost::program_options::variables_map& values) {
  namespace options = boost::program_options;
  const options::positional_options_description no_positionals;
  options::store(options::command_line_parser(argc, argv).options(table).positional(no_positionals).run(), values);
}

}  // namespace vove
