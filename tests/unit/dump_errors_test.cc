// The error model of dump input and output: every failure says its kind,
// its file and the system's code; only damage is reported as damage.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "dump_test_support.h"
#include "formats/dump_file.h"
#include "formats/dump_file_errors.h"
#include "formats/dump_format.h"
#include "formats/dump_frames.h"
#include "formats/dump_index.h"
#include "formats/dump_reader.h"
#include "formats/input_file.h"
#include "formats/iracing_recording.h"
#include "formats/payload_damage.h"

namespace vove {

namespace {

using namespace dump_test;

// The header written out by hand at the format's offsets: magic at 0, the
// rate (little-endian) at 8, the source id at 12, zeros to 72.
std::string hand_made_header() {
  std::string bytes = "SHMTRACE";
  bytes += std::string("\x1e\x00\x00\x00", 4);  // 30 fps
  bytes += "irac";
  bytes += std::string(56, '\0');
  return bytes;
}

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

template <typename Call>
DumpInputError input_error_of(Call&& call) {
  try {
    call();
  } catch (const DumpInputError& error) {
    return error;
  }
  ADD_FAILURE() << "no DumpInputError";
  return DumpInputError(DumpErrorKind::io, "none");
}

TEST(DumpHeaderParser, ChecksLengthThenMagicThenFields) {
  const std::string whole = hand_made_header();
  ASSERT_EQ(whole.size(), dump_header_size);
  ParsedDumpHeader parsed = parse_dump_header(bytes_of(whole));
  EXPECT_EQ(parsed.found, DumpHeaderFound::whole);
  EXPECT_EQ(parsed.header.fps, 30u);
  EXPECT_EQ(parsed.header.source_id, make_source_id("irac"));

  parsed = parse_dump_header(bytes_of(whole.substr(0, 13)));  // the id cut after one byte
  EXPECT_EQ(parsed.found, DumpHeaderFound::cut_short);
  EXPECT_EQ(parsed.header.fps, 30u);
  EXPECT_EQ(parsed.header.source_id, (SourceId{'i', '\0', '\0', '\0'}));

  for (const std::string& no_dump : {std::string(), whole.substr(0, 7), "SHMTRACX" + whole.substr(8)}) {
    EXPECT_EQ(parse_dump_header(bytes_of(no_dump)).found, DumpHeaderFound::not_a_dump) << no_dump.size();
  }
}

// The reader of frames takes a header cut short, the index (which has the
// whole file before it) does not; both through the one parser.
TEST(DumpHeaderParser, EachCallerKeepsItsRuleForAHeaderCutShort) {
  std::istringstream cut(hand_made_header().substr(0, 40));
  const DumpReader reader(cut);
  EXPECT_EQ(reader.fps(), 30);
  EXPECT_EQ(reader.source_id(), make_source_id("irac"));

  std::istringstream again(hand_made_header().substr(0, 40));
  const DumpInputError error = input_error_of([&] { DumpIndex::scan(again); });
  EXPECT_EQ(error.kind(), DumpErrorKind::not_a_dump);
  EXPECT_STREQ(error.what(), "Invalid file format.");
}

TEST(DumpErrors, AFileThatCannotBeOpenedKeepsItsFileAndCode) {
  const TempDirectory directory;
  const std::string missing = (directory.path() / "missing.bin").string();
  DumpInputError error = input_error_of([&] { open_input_file(missing); });
  EXPECT_EQ(error.kind(), DumpErrorKind::io);
  EXPECT_EQ(error.file(), missing);
  EXPECT_EQ(error.system_code(), std::error_code(ENOENT, std::generic_category()));
  EXPECT_EQ(std::string(error.what()), "Failed to open the file " + missing + ": " + std::strerror(ENOENT));

  error = input_error_of([&] { DumpFrames frames(directory.path()); });
  EXPECT_EQ(error.kind(), DumpErrorKind::io);
  EXPECT_EQ(error.system_code(), std::error_code(EISDIR, std::generic_category()));
  EXPECT_EQ(std::string(error.what()),
            "Failed to open the file " + directory.path().string() + ": " + std::strerror(EISDIR));
}

TEST(DumpErrors, NoDumpAndDamageAreToldApart) {
  const TempDirectory directory;
  const DumpInputError no_dump =
      input_error_of([&] { DumpFrames frames(directory.write("text.bin", std::string(100, 'x'))); });
  EXPECT_EQ(no_dump.kind(), DumpErrorKind::not_a_dump);

  // Sizes that fit the file, data that is no zlib stream.
  const std::string garbage = raw_record(20, 40, std::string(20, 'g'));
  DumpFrames frames(directory.write("damaged.bin", header(10) + record(noise(50)) + garbage));
  ASSERT_EQ(frames.size(), 2u);
  FramePayload payload;
  EXPECT_TRUE(frames.read_if_intact(0, payload));
  EXPECT_FALSE(frames.read_if_intact(1, payload));
  const DumpInputError damage = input_error_of([&] { frames.read(1); });
  EXPECT_EQ(damage.kind(), DumpErrorKind::damaged);
  EXPECT_STREQ(damage.what(), "Failed to decompress data. File is corrupted?");
}

// A read that fails on the device is no damage: read_if_intact lets it go.
TEST(DumpErrors, AnIoErrorIsNotTakenForDamage) {
  const std::string file = header(10) + record(noise(50));
  FailingReads failing(file);
  std::istream in(&failing);
  const DumpInputError error = input_error_of([&] { DumpIndex::scan(in); });
  EXPECT_EQ(error.kind(), DumpErrorKind::io);
  EXPECT_STREQ(error.what(), "Failed to read the input file.");
}

TEST(DumpErrors, AnOutputThatCannotBeCreatedKeepsTheSystemsCode) {
  const TempDirectory directory;
  try {
    DumpFile file(directory.path() / "absent", "20240101T000000Z");
    ADD_FAILURE() << "created " << file.name();
  } catch (const DumpFileOpenError& error) {
    EXPECT_EQ(error.kind(), DumpErrorKind::io);
    EXPECT_NE(error.file().find("absent"), std::string::npos) << error.file();
    // The system's own code and words: errno here, a Windows error code
    // (the path, not the file, is missing) under Win32.
    ASSERT_TRUE(error.system_code());
    const std::string tail = " (file " + error.file() + ")";
    EXPECT_EQ(error.explanation().rfind("Reason: ", 0), 0u) << error.explanation();
    EXPECT_GT(error.explanation().size(), std::string("Reason: ").size() + tail.size()) << error.explanation();
    EXPECT_EQ(error.explanation().substr(error.explanation().size() - tail.size()), tail);
    if (error.system_code().category() == std::generic_category()) {
      EXPECT_EQ(error.system_code(), std::error_code(ENOENT, std::generic_category()));
      EXPECT_EQ(error.explanation(), "Reason: " + std::string(std::strerror(ENOENT)) + " (file " + error.file() + ")");
    }
  }
}

// Only a decoder's report of damage makes a damaged frame; a programming
// error inside a decoder must reach the user as what it is.
TEST(DamagedFrames, OnlyPayloadDamageIsReportedAsDamage) {
  try {
    iracing::decode_frame_payload(3, 500, []() -> int { throw PayloadDamage("cut short in its row"); });
    ADD_FAILURE() << "no damage reported";
  } catch (const iracing::DamagedFrameError& error) {
    EXPECT_EQ(error.frame(), 3u);
    EXPECT_EQ(error.offset(), 500u);
    EXPECT_EQ(error.reason(), "cut short in its row");
  }
  EXPECT_THROW(iracing::decode_frame_payload(3, 500, []() -> int { throw std::logic_error("a fault"); }),
               std::logic_error);
  EXPECT_THROW(iracing::decode_frame_payload(3, 500, []() -> int { throw std::length_error("a fault"); }),
               std::length_error);
  EXPECT_EQ(iracing::decode_frame_payload(3, 500, [] { return 7; }), 7);
}

// The walk over a real recording: a frame that inflates but is no iRacing
// frame is damage, named with the decoder's words.
TEST(DamagedFrames, AFrameThatIsNoIracingFrameIsNamedAsDamaged) {
  const TempDirectory directory;
  DumpFrames frames(directory.write("short.bin", header(10) + record(noise(20))));
  iracing::RecordingWalk walk(frames);
  try {
    walk.next();
    ADD_FAILURE() << "a 20-byte frame was read";
  } catch (const iracing::DamagedFrameError& error) {
    EXPECT_EQ(error.frame(), 0u);
    EXPECT_EQ(error.offset(), dump_header_size);
    EXPECT_EQ(error.reason(), "iRacing payload is shorter than its header");
  }
}

}  // namespace

}  // namespace vove
