#include "formats/input_file.h"

#include <cerrno>
#include <string>
#include <system_error>

namespace vove {

std::ifstream open_input_file(const std::filesystem::path& path) {
  std::error_code ignored;
  int error = std::filesystem::is_directory(path, ignored) ? EISDIR : 0;
  std::ifstream stream;
  if (error == 0) {
    errno = 0;
    stream.open(path, std::ios::binary);
    if (!stream) error = errno == 0 ? EIO : errno;
  }
  if (error != 0) {
    const std::error_code code(error, std::generic_category());
    throw DumpInputError(DumpErrorKind::io, "Failed to open the file " + path.string() + ": " + code.message(),
                         path.string(), code);
  }
  return stream;
}

}  // namespace vove
