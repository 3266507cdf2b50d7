#include "dumptool/record_copier.h"

#include <algorithm>
#include <string>

#include "common/console_texts.h"
#include "formats/dump_file_errors.h"
#include "formats/dump_format.h"
#include "formats/input_file.h"

namespace vove::dumptool {

namespace {

constexpr std::size_t buffer_size = std::size_t{1} << 20;

}  // namespace

RecordCopier::RecordCopier(const std::filesystem::path& input)
    : input_(vove::open_input_file(input)), buffer_(std::make_unique<char[]>(buffer_size)) {}

void RecordCopier::copy_header(std::ostream& out) { copy_range(0, dump_header_size, out); }

void RecordCopier::copy(const IndexedRecord& record, std::ostream& out) {
  copy_range(record.offset, record.end_offset() - record.offset, out);
}

void RecordCopier::copy_range(std::uint64_t offset, std::uint64_t length, std::ostream& out) {
  input_.clear();
  input_.seekg(static_cast<std::streamoff>(offset));
  while (length > 0 && input_ && out) {
    const auto count = static_cast<std::streamsize>(std::min<std::uint64_t>(length, buffer_size));
    input_.read(buffer_.get(), count);
    if (input_.gcount() != count) break;
    out.write(buffer_.get(), count);
    length -= static_cast<std::uint64_t>(count);
  }
  // The index saw these bytes: a short read now is an I/O error or a file
  // changed under us. A failed write is left to the output's commit.
  if (length > 0 && out) throw DumpInputError(DumpErrorKind::io, std::string(console_text::read_failed));
}

}  // namespace vove::dumptool
