// Whole dump files from the fuzzer, through every way a program reads one:
// the sequential reader (the replay), the index (seeking, repair) and the
// random-access frames over a file on disk. Each must read or reject the
// file; the index and the frames must agree on how much of it is intact.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "formats/dump_frames.h"
#include "formats/dump_index.h"
#include "formats/dump_reader.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

// More frames than any small input can hold intact: a bound on the work, not on what is checked.
constexpr int frames_read_at_most = 256;

// In memory where the system offers it: a file is written for every input.
const std::filesystem::path& scratch_file() {
  static const std::filesystem::path path =
      (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path()) /
      ("vove_fuzz_dump_" + std::to_string(::getpid()) + ".bin");
  return path;
}

void read_sequentially(const std::string& bytes) {
  std::istringstream in(bytes);
  DumpReader reader(in);
  for (int i = 0; i < frames_read_at_most; ++i) {
    if (reader.next_frame().empty()) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove(scratch_file(), ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    read_sequentially(bytes);
  } catch (const DumpInputError& error) {  // not a dump, or a damaged record
    if (error.kind() == DumpErrorKind::io) throw;
  }

  std::optional<DumpIndex> index;
  try {
    std::istringstream in(bytes);
    index = DumpIndex::scan(in);
  } catch (const DumpInputError& error) {
    if (error.kind() == DumpErrorKind::io) throw;
  }
  if (index) {
    std::uint64_t end = dump_header_size;
    for (const IndexedRecord& record : index->records()) {
      fuzz::check(record.offset == end, "records follow each other without a gap");
      end = record.end_offset();
    }
    fuzz::check(index->intact_length() == end && end <= size, "the intact part lies within the file");
    fuzz::check(index->damage().has_value() == (end < size), "damage is reported exactly when bytes remain");
  }

  {
    std::ofstream file(scratch_file(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  try {
    DumpFrames frames(scratch_file());
    fuzz::check(index.has_value() && frames.size() == index->records().size(), "the frames are the indexed records");
    frames.frame_at(frames.seconds_of(frames.size() / 2));
    // Backwards, so every read but the first seeks.
    for (std::size_t i = frames.size(); i > 0 && frames.size() - i < frames_read_at_most; --i) frames.read(i - 1);
  } catch (const DumpInputError& error) {
    if (error.kind() == DumpErrorKind::io) throw;
  }
  return 0;
}
