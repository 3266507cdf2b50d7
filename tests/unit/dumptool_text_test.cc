// The texts dumptool writes for other programs: CSV fields and values, JSON
// strings, and the names it suggests for a mistyped one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "common/byte_coding.h"
#include "dumptool/close_matches.h"
#include "dumptool/csv_format.h"
#include "dumptool/json_text.h"

namespace vove {

namespace {

using iracing::VariableType;

std::string value_text(VariableType type, const std::vector<std::uint8_t>& row, std::int32_t index = 0) {
  iracing::VariableInfo variable;
  variable.type = type;
  variable.count = 2;
  std::string line;
  dumptool::append_csv_value(line, row, variable, index);
  return line;
}

std::vector<std::uint8_t> bytes_of_floats(float first, float second) {
  std::vector<std::uint8_t> row(8);
  coding::encode_f32(row.data(), first);
  coding::encode_f32(row.data() + 4, second);
  return row;
}

TEST(CsvText, ValuesInTheirShortestExactFormByType) {
  EXPECT_EQ(value_text(VariableType::float32, bytes_of_floats(0.1f, -2.5e-8f)), "0.1");
  EXPECT_EQ(value_text(VariableType::float32, bytes_of_floats(0.1f, -2.5e-8f), 1), "-2.5e-08");
  EXPECT_EQ(value_text(VariableType::float32, bytes_of_floats(std::numeric_limits<float>::quiet_NaN(), 0)), "");
  EXPECT_EQ(value_text(VariableType::float32, bytes_of_floats(-std::numeric_limits<float>::infinity(), 0)), "-inf");

  std::vector<std::uint8_t> doubles(16);
  coding::encode_u64(doubles.data(), std::bit_cast<std::uint64_t>(0.1));
  coding::encode_u64(doubles.data() + 8, std::bit_cast<std::uint64_t>(1e300));
  EXPECT_EQ(value_text(VariableType::float64, doubles), "0.1");
  EXPECT_EQ(value_text(VariableType::float64, doubles, 1), "1e+300");

  const std::vector<std::uint8_t> ones(8, 0xff);
  EXPECT_EQ(value_text(VariableType::bitfield, ones), "4294967295");
  EXPECT_EQ(value_text(VariableType::integer, ones), "-1");
  EXPECT_EQ(value_text(VariableType::boolean, ones), "1");
  EXPECT_EQ(value_text(VariableType::boolean, std::vector<std::uint8_t>(8, 0)), "0");
  EXPECT_EQ(value_text(VariableType::character, ones), "-1");
}

TEST(CsvText, QuotesOnlyFieldsThatNeedIt) {
  std::string line;
  for (const char* field : {"Speed", "a,b", "say \"hi\"", "two\nlines", "cr\r", ""}) {
    dumptool::append_csv_field(line, field);
    line += '|';
  }
  EXPECT_EQ(line, "Speed|\"a,b\"|\"say \"\"hi\"\"\"|\"two\nlines\"|\"cr\r\"||");
}

TEST(JsonText, EscapesControlsAndReplacesBytesThatAreNotUtf8) {
  EXPECT_EQ(dumptool::json_string("plain"), "\"plain\"");
  EXPECT_EQ(dumptool::json_string("q\"b\\n\n\t\x01"), "\"q\\\"b\\\\n\\n\\t\\u0001\"");
  EXPECT_EQ(dumptool::json_string("gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x8f\x81"),
            "\"gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x8f\x81\"");
  // A lone continuation byte, a cut sequence, an overlong slash, a surrogate.
  EXPECT_EQ(dumptool::json_string("a\x80z\xe2\x82"), "\"a\\ufffdz\\ufffd\\ufffd\"");
  EXPECT_EQ(dumptool::json_string("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(dumptool::json_string("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(dumptool::json_string(std::string_view("\0", 1)), "\"\\u0000\"");
  EXPECT_EQ(dumptool::json_number(2.8), "2.8");
  EXPECT_EQ(dumptool::json_number(std::numeric_limits<double>::infinity()), "null");
}

TEST(JsonText, InsideAPageNoTextEndsTheScriptOrOpensAComment) {
  using dumptool::JsonPlace;
  const std::string hostile = "</script><!-- a&b>";
  EXPECT_EQ(dumptool::json_string(hostile), "\"</script><!-- a&b>\"");
  const std::string in_page = dumptool::json_string(hostile, JsonPlace::inside_html);
  EXPECT_EQ(in_page, "\"\\u003c/script\\u003e\\u003c!-- a\\u0026b\\u003e\"");
  // Still the same text to a reader, bytes that are not UTF-8 included.
  EXPECT_EQ(nlohmann::json::parse(in_page), hostile);
  EXPECT_EQ(nlohmann::json::parse(dumptool::json_string("a\x80\n", JsonPlace::inside_html)), "a\xef\xbf\xbd\n");
}

TEST(JsonText, DocumentsKeepTheirKeyOrderAndOurNumbers) {
  using dumptool::Json;
  const Json document{{"z", 1},
                      {"a", {{"n", nullptr}, {"t", true}, {"u", std::uint64_t{18446744073709551615u}}}},
                      {"m", -2},
                      {"d", {2.8, 100.0, 1e-7, std::numeric_limits<double>::quiet_NaN()}},
                      {"f",
                       {dumptool::json_fixed(18.5, 3), dumptool::json_fixed(-0.004, 2), dumptool::json_fixed(7.0, 0),
                        dumptool::json_fixed(INFINITY, 1)}},
                      {"s<", "&"}};
  EXPECT_EQ(dumptool::json_text(document),
            R"({"z":1,"a":{"n":null,"t":true,"u":18446744073709551615},"m":-2,"d":[2.8,100,1e-07,null],)"
            R"("f":[18.5,0,7,null],"s<":"&"})");
  EXPECT_EQ(dumptool::json_text(Json{{"s<", "&"}}, dumptool::JsonPlace::inside_html), R"({"s\u003c":"\u0026"})");
  // What another reader makes of it.
  const auto read = nlohmann::json::parse(dumptool::json_text(document));
  EXPECT_EQ(read["d"][2], 1e-7);
  EXPECT_EQ(read["f"][0], 18.5);
  EXPECT_EQ(read["a"]["u"], 18446744073709551615u);
}

TEST(JsonText, EveryControlCharacterReadsBackAsItself) {
  std::string controls;
  for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
  controls += '\x7f';
  for (const auto place : {dumptool::JsonPlace::plain, dumptool::JsonPlace::inside_html}) {
    const std::string text = dumptool::json_string(controls, place);
    EXPECT_EQ(text.find_first_of(controls.substr(0, 0x20)), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(text), controls);
  }
}

TEST(JsonText, FixedNumbersStayInPlainDecimalsAndEmptyContainersAreWritten) {
  using dumptool::Json;
  EXPECT_EQ(dumptool::json_text(Json::array(
                {dumptool::json_fixed(1e6, 1), dumptool::json_fixed(0.00001, 3), dumptool::json_fixed(-12.345678, 2)})),
            "[1000000,0,-12.35]");
  EXPECT_EQ(dumptool::json_text(Json{{"a", Json::array()}, {"o", Json::object()}}), R"({"a":[],"o":{}})");
}

TEST(CloseMatches, SuggestsNamesALittleOffCaseAsideAndNothingFarOff) {
  const std::vector<std::string> names{"Speed", "Gear", "CarGear", "Throttle", "ThrottleRaw", "LapDistPct", "RPM"};
  EXPECT_EQ(dumptool::close_matches("Sped", names), (std::vector<std::string>{"Speed"}));
  EXPECT_EQ(dumptool::close_matches("gear", names).front(), "Gear");
  EXPECT_EQ(dumptool::close_matches("Trottle", names).front(), "Throttle");
  EXPECT_EQ(dumptool::close_matches("lapdist", names), (std::vector<std::string>{"LapDistPct"}));
  EXPECT_TRUE(dumptool::close_matches("SteeringWheelAngle", names).empty());
  EXPECT_EQ(dumptool::close_matches("Throttle", names, 1).size(), 1u);
}

}  // namespace

}  // namespace vove
