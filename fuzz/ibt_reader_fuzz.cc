// Arbitrary bytes as a .ibt file: the reader refuses them with
// IbtFormatError or reads them, and never reads outside the bytes, crashes
// or allocates more than the bytes justify.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "formats/ibt_reader.h"
#include "formats/iracing_variable_table.h"

using namespace vove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    iracing::IbtReader reader(in);
    // What from-ibt does with a file it accepted: decode the table, read rows.
    const iracing::VariableTable table(reader.variable_headers());
    std::vector<std::uint8_t> row;
    const std::uint64_t rows = reader.row_count();
    for (std::uint64_t i = 0; i < std::min<std::uint64_t>(rows, 16); ++i) {
      reader.read_row(i, row);
      for (const auto& variable : table.variables()) {
        if (variable.fits_row(row.size())) static_cast<void>(iracing::read_value(row, variable, variable.count - 1));
      }
    }
    if (rows > 0) reader.read_row(rows - 1, row);
  } catch (const iracing::IbtFormatError&) {
  }
  return 0;
}
