// The ACC pages read by field name: values written at the offsets of the
// simulator's published layout (literal offsets here, not our table's) must
// come out of the decoder and of dumptool's vars, csv and info by name, and
// pages cut short, texts without their zero and non-finite floats must give
// a clear result, never a read past the bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "acc_frame_writing.h"
#include "console_capture.h"
#include "dump_test_support.h"
#include "dumptool/commands.h"
#include "formats/acc_fields.h"

namespace vove {

namespace {

using dump_test::Bytes;
using namespace acc_test;
using dump_test::TempDirectory;

// A frame as a live session shows it, every value at the offset the
// simulator's layout gives it.
Bytes live_frame(std::int32_t step) {
  Bytes p(3700, 0);
  put_i32(p, graphics_at + 0, 1000 + step);                // graphics packetId
  put_i32(p, graphics_at + 4, 2);                          // status: ACC_LIVE
  put_i32(p, graphics_at + 8, 1);                          // session: ACC_QUALIFY
  put_utf16(p, graphics_at + 12, u"1:01.234");             // currentTime
  put_i32(p, graphics_at + 132, 4);                        // completedLaps
  put_i32(p, graphics_at + 140, 61234 + step);             // iCurrentTime
  put_i32(p, graphics_at + 144, 98765);                    // iLastTime
  put_f32(p, graphics_at + 248, 0.25f);                    // normalizedCarPosition
  put_f32(p, graphics_at + 256 + 12 * 2 + 8, -12.5f);      // carCoordinates[2][2]
  put_i32(p, graphics_at + 976 + 4 * 2, 17);               // carID[2]
  put_i32(p, graphics_at + 1216, 17);                      // playerCarID
  put_i32(p, graphics_at + 1584, -321);                    // gapBehind, the last field
  put_i32(p, physics_at + 0, 5000 + 5 * step);             // physics packetId
  put_f32(p, physics_at + 4, 0.75f);                       // gas
  put_i32(p, physics_at + 16, 4);                          // gear (3rd)
  put_i32(p, physics_at + 20, 6789);                       // rpms
  put_f32(p, physics_at + 28, 187.5f);                     // speedKmh
  put_f32(p, physics_at + 56 + 4 * 3, 0.125f);             // wheelSlip[3]
  put_f32(p, physics_at + 796, 0.5f);                      // absVibrations, the last field
  put_utf16(p, static_at + 0, u"1.9");                     // smVersion
  put_utf16(p, static_at + 68, u"ferrari_296_gt3");        // carModel
  put_utf16(p, static_at + 134, u"N\u00fcrburgring, GP");  // track: a comma and a non-ASCII letter
  put_utf16(p, static_at + 200, u"Alex");                  // playerName
  put_utf16(p, static_at + 266, u"Novak");                 // playerSurname
  put_utf16(p, static_at + 332, u"AN");                    // playerNick
  put_i32(p, static_at + 412, 8000);                       // maxRpm
  put_utf16(p, static_at + 754, u"WH");                    // wetTyresName, the last field
  return p;
}

std::string write_recording(const TempDirectory& directory, const std::vector<Bytes>& frames, int fps = 10) {
  std::string bytes = dump_test::header(fps, "accz");
  for (const Bytes& frame : frames) bytes += dump_test::record(frame);
  return directory.write("acc.bin", bytes);
}

acc::PageBytes pages(const Bytes& payload) { return acc::pages_of_payload(payload); }

TEST(AccFields, TableHasTheLayoutsFieldsAtTheirOffsets) {
  struct Expected {
    const char* name;
    std::size_t offset;
    std::size_t count;
    acc::FieldType type;
  };
  using T = acc::FieldType;
  for (const Expected& e : std::vector<Expected>{{"graphics.packetId", 0, 1, T::int32},
                                                 {"graphics.status", 4, 1, T::int32},
                                                 {"graphics.tyreCompound", 176, 33, T::utf16},
                                                 {"graphics.replayTimeMultiplier", 244, 1, T::float32},
                                                 {"graphics.carCoordinates", 256, 180, T::float32},
                                                 {"graphics.carID", 976, 60, T::int32},
                                                 {"graphics.deltaLapTime", 1328, 15, T::utf16},
                                                 {"graphics.iDeltaLapTime", 1360, 1, T::int32},
                                                 {"graphics.trackStatus", 1416, 33, T::utf16},
                                                 {"graphics.gapBehind", 1584, 1, T::int32},
                                                 {"physics.speedKmh", 28, 1, T::float32},
                                                 {"physics.tyreContactPoint", 420, 12, T::float32},
                                                 {"physics.currentMaxRpm", 588, 1, T::int32},
                                                 {"physics.absVibrations", 796, 1, T::float32},
                                                 {"static.playerNick", 332, 33, T::utf16},
                                                 {"static.sectorCount", 400, 1, T::int32},
                                                 {"static.trackConfiguration", 524, 33, T::utf16},
                                                 {"static.ersMaxJ", 592, 1, T::float32},
                                                 {"static.wetTyresName", 754, 33, T::utf16}}) {
    SCOPED_TRACE(e.name);
    const acc::Field* field = acc::find_field(e.name);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->offset, e.offset);
    EXPECT_EQ(field->count, e.count);
    EXPECT_EQ(field->type, e.type);
  }
  // The last field of each page ends where the layout does.
  std::size_t ends[3] = {};
  for (const acc::Field& field : acc::acc_fields()) {
    auto& end = ends[static_cast<int>(field.page)];
    end = std::max(end, field.offset + field.size());
  }
  EXPECT_EQ(ends[0], 1588u);
  EXPECT_EQ(ends[1], 800u);
  EXPECT_EQ(ends[2], 820u);
  EXPECT_EQ(acc::find_field("speedKmh"), acc::find_field("physics.speedKmh"));
  EXPECT_EQ(acc::find_field("packetId"), nullptr) << "on two pages: the page has to be named";
  EXPECT_EQ(acc::find_field("physics.track"), nullptr);
  EXPECT_EQ(acc::find_field("graphics.carCoordinates")->column_name(7), "graphics.carCoordinates[2][1]");
  EXPECT_EQ(acc::find_field("physics.wheelSlip")->column_name(3), "physics.wheelSlip[3]");
}

// The pages are packed to 4 bytes: each field starts where the one before
// it ends, or 2 bytes later when a number follows a text of an odd number
// of UTF-16 units. A field of the wrong size leaves a gap or an overlap the
// layout does not have.
TEST(AccFields, FieldsTileEachPageAsItsPackedLayoutDoes) {
  std::vector<const acc::Field*> fields;
  for (const acc::Field& field : acc::acc_fields()) fields.push_back(&field);
  std::stable_sort(fields.begin(), fields.end(), [](const acc::Field* a, const acc::Field* b) {
    return a->page != b->page ? a->page < b->page : a->offset < b->offset;
  });
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const acc::Field& field = *fields[i];
    SCOPED_TRACE(std::string(field.name));
    EXPECT_GT(field.size(), 0u);
    if (i == 0 || fields[i - 1]->page != field.page) {
      EXPECT_EQ(field.offset, 0u) << "a page starts with its first field";
      continue;
    }
    const std::size_t previous_end = fields[i - 1]->offset + fields[i - 1]->size();
    EXPECT_GE(field.offset, previous_end) << "overlaps " << fields[i - 1]->name;
    EXPECT_LT(field.offset, previous_end + 4) << "a gap after " << fields[i - 1]->name;
    EXPECT_EQ(field.offset % (field.type == acc::FieldType::utf16 ? 2 : 4), 0u);
  }
}

TEST(AccFields, ValuesAtTheLayoutsOffsetsReadByName) {
  const Bytes payload = live_frame(0);
  const acc::PageBytes p = pages(payload);
  using acc::Page;
  EXPECT_EQ(acc::int_field(p, Page::graphics, "status"), 2);
  EXPECT_EQ(acc::int_field(p, Page::graphics, "iCurrentTime"), 61234);
  EXPECT_EQ(acc::int_field(p, Page::graphics, "carID", 2), 17);
  EXPECT_EQ(acc::int_field(p, Page::graphics, "gapBehind"), -321);
  EXPECT_EQ(acc::float_field(p, Page::graphics, "carCoordinates", 8), -12.5f);
  EXPECT_EQ(acc::float_field(p, Page::physics, "speedKmh"), 187.5f);
  EXPECT_EQ(acc::float_field(p, Page::physics, "wheelSlip", 3), 0.125f);
  EXPECT_EQ(acc::float_field(p, Page::physics, "absVibrations"), 0.5f);
  EXPECT_EQ(acc::int_field(p, Page::physics, "rpms"), 6789);
  EXPECT_EQ(acc::text_field(p, Page::graphics, "currentTime"), "1:01.234");
  EXPECT_EQ(acc::text_field(p, Page::static_page, "track"), "N\xc3\xbcrburgring, GP");
  EXPECT_EQ(acc::text_field(p, Page::static_page, "wetTyresName"), "WH");
  EXPECT_EQ(acc::int_field(p, Page::physics, "wheelSlip", 4), std::nullopt) << "past the array";
}

TEST(AccFields, ShortPagesLeaveOutWhatTheyDoNotHold) {
  // An older game's graphics page of 1320 bytes, AC1's physics of 288.
  Bytes payload = live_frame(0);
  const acc::PageBytes full = pages(payload);
  const acc::PageBytes short_pages{full.graphics.first(1320), full.physics.first(288), full.static_page.first(0)};
  EXPECT_EQ(acc::int_field(short_pages, acc::Page::graphics, "iCurrentTime"), 61234);
  EXPECT_EQ(acc::int_field(short_pages, acc::Page::graphics, "sessionIndex"), std::nullopt);  // 1320..1324
  EXPECT_EQ(acc::int_field(short_pages, acc::Page::graphics, "rainTyres"), 0);                // 1316..1320
  EXPECT_EQ(acc::float_field(short_pages, acc::Page::physics, "airDensity"), 0.0f);           // 284..288
  EXPECT_EQ(acc::float_field(short_pages, acc::Page::physics, "airTemp"), std::nullopt);
  EXPECT_EQ(acc::text_field(short_pages, acc::Page::static_page, "track"), "");
  EXPECT_EQ(acc::read_text(*acc::find_field("static.track"), short_pages.static_page), std::nullopt);

  // A payload cut short inside the physics page.
  payload.resize(1700 + 32);
  const acc::PageBytes cut = pages(payload);
  EXPECT_EQ(cut.graphics.size(), 1588u);
  EXPECT_EQ(cut.physics.size(), 32u);
  EXPECT_TRUE(cut.static_page.empty());
  EXPECT_EQ(acc::float_field(cut, acc::Page::physics, "speedKmh"), 187.5f);  // 28..32
  EXPECT_EQ(acc::float_field(cut, acc::Page::physics, "velocity"), std::nullopt);
}

TEST(AccFields, TextsWithoutTheirZeroEndAtTheField) {
  Bytes payload(3700, 0);
  // 33 units of 'x' in track, then playerName right after it.
  put_utf16(payload, static_at + 134, std::u16string(33, u'x'));
  put_utf16(payload, static_at + 200, u"Alex");
  EXPECT_EQ(acc::text_field(pages(payload), acc::Page::static_page, "track"), std::string(33, 'x'));
  // A lone surrogate and a pair: U+FFFD and the character.
  put_utf16(payload, static_at + 68,
            std::u16string{char16_t(0xd800), u'a', char16_t(0xd83c), char16_t(0xdfc1), char16_t(0xdc00)});
  EXPECT_EQ(acc::text_field(pages(payload), acc::Page::static_page, "carModel"),
            "\xef\xbf\xbd"
            "a\xf0\x9f\x8f\x81\xef\xbf\xbd");
  // What follows the zero in the field is an older text's rest, not part of it.
  put_utf16(payload, graphics_at + 176, std::u16string(u"dry_compound\0wet_compound", 25));
  EXPECT_EQ(acc::text_field(pages(payload), acc::Page::graphics, "tyreCompound"), "dry_compound");
  // An odd byte at the end of the bytes is not half a unit.
  const std::uint8_t odd[] = {'a', 0, 'b'};
  EXPECT_EQ(acc::utf16le_to_utf8(odd), "a");
}

TEST(AccCommands, CsvWritesFieldsByNameAndInfoNamesTheSession) {
  TempDirectory directory;
  Bytes odd = live_frame(1);
  put_f32(odd, physics_at + 28, std::numeric_limits<float>::quiet_NaN());
  put_f32(odd, physics_at + 4, std::numeric_limits<float>::infinity());
  const std::string file = write_recording(directory, {live_frame(0), odd});

  const CommandRun csv = run_captured(run_csv_command, {file, "--vars",
                                                        "physics.speedKmh,gas,graphics.iCurrentTime,static.track,"
                                                        "physics.gear,graphics.status,graphics.carCoordinates"});
  ASSERT_EQ(csv.code, 0) << csv.err;
  const auto header_end = csv.out.find("\r\n");
  std::string header = csv.out.substr(0, header_end);
  EXPECT_EQ(header.substr(0, 124),
            "seconds,physics.speedKmh,physics.gas,graphics.iCurrentTime,static.track,physics.gear,graphics.status,"
            "graphics.carCoordinates");
  EXPECT_NE(header.find(",graphics.carCoordinates[59][2]"), std::string::npos);
  const std::string lines = csv.out.substr(header_end + 2);
  std::string coordinates;
  for (int i = 0; i < 180; ++i) coordinates += i == 8 ? ",-12.5" : ",0";
  EXPECT_EQ(lines, "0,187.5,0.75,61234,\"N\xc3\xbcrburgring, GP\",4,2" + coordinates + "\r\n" +
                       "0.1,,inf,61235,\"N\xc3\xbcrburgring, GP\",4,2" + coordinates + "\r\n");

  const CommandRun ranged = run_captured(run_csv_command, {file, "--vars", "graphics.packetId", "--from", "0.1"});
  EXPECT_EQ(ranged.out, "seconds,graphics.packetId\r\n0.1,1001\r\n");

  const CommandRun unknown = run_captured(run_csv_command, {file, "--vars", "physics.speedKm"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.err.find("'physics.speedKm' (close: physics.speedKmh"), std::string::npos) << unknown.err;

  const CommandRun info = run_captured(run_info_command, {file});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_NE(info.out.find("Track:           N\xc3\xbcrburgring, GP\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Car:             ferrari_296_gt3\n"), std::string::npos);
  EXPECT_NE(info.out.find("Player:          Alex Novak (AN)\n"), std::string::npos);
  EXPECT_NE(info.out.find("Session:         Qualify (ACC_QUALIFY)\n"), std::string::npos);
  EXPECT_NE(info.out.find("Status:          Live (ACC_LIVE)\n"), std::string::npos);
  const CommandRun json = run_captured(run_info_command, {file, "--json"});
  EXPECT_NE(json.out.find("\"acc\":{\"track\":\"N\xc3\xbcrburgring, GP\",\"car\":\"ferrari_296_gt3\",\"player\":"
                          "\"Alex Novak (AN)\",\"session\":{\"value\":1,\"name\":\"ACC_QUALIFY\"},"
                          "\"status\":{\"value\":2,\"name\":\"ACC_LIVE\"}}"),
            std::string::npos)
      << json.out;

  const CommandRun vars = run_captured(run_vars_command, {file});
  ASSERT_EQ(vars.code, 0) << vars.err;
  EXPECT_NE(vars.out.find("\nphysics   speedKmh "), std::string::npos) << vars.out.substr(0, 300);
  for (const char* line : {"  float  1      28      km/h ", "  int32  1      140     ms ", "  float  60x3   256 ",
                           "  utf16  33     134  "}) {
    EXPECT_NE(vars.out.find(line), std::string::npos) << line;
  }
}

TEST(AccCommands, InfoNamesARecordThatDoesNotInflateAndStillTheSession) {
  TempDirectory directory;
  const std::string first = dump_test::header(10, "accz") + dump_test::record(live_frame(0));
  const std::string spoiled = dump_test::raw_record(16, 3700, "garbage!garbage!");
  const std::string file = directory.write("acc.bin", first + spoiled + dump_test::record(live_frame(2)) + spoiled);
  const CommandRun info = run_captured(run_info_command, {file});
  EXPECT_EQ(info.code, 2);
  EXPECT_NE(info.out.find("Damage:          frame 1 (record at byte " + std::to_string(first.size()) +
                          "): its compressed data does not inflate; 2 damaged records in all\n"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("Session:         Qualify (ACC_QUALIFY)\n"), std::string::npos) << info.out;
}

TEST(AccCommands, AFrameOfAnotherSizeIsReadAsFarAsItGoesAndSaidSo) {
  TempDirectory directory;
  Bytes cut = live_frame(1);
  cut.resize(1700 + 32);  // physics to speedKmh, no static page
  const std::string file = write_recording(directory, {live_frame(0), cut});
  const CommandRun csv =
      run_captured(run_csv_command, {file, "--vars", "physics.speedKmh,physics.velocity,static.track"});
  EXPECT_EQ(csv.code, 2);
  EXPECT_EQ(csv.out,
            "seconds,physics.speedKmh,physics.velocity[0],physics.velocity[1],physics.velocity[2],static.track\r\n"
            "0,187.5,0,0,0,\"N\xc3\xbcrburgring, GP\"\r\n0.1,187.5,,,,\r\n");
  EXPECT_NE(csv.err.find("frame 1 holds 1732 bytes, not the 3700 of an ACC frame"), std::string::npos) << csv.err;
}

}  // namespace

}  // namespace vove
