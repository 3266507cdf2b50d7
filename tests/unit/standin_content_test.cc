// The iRacing stand-in's table and session text as data: the table reader
// refuses rows it cannot publish and names the line, and the text has the
// shape the simulator's reference describes (every item of a list with the
// same keys, so lookups by the SDK's rules never leak into the next item).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/iracing_variables.h"

namespace vove {

namespace {

const std::string table_head = "name\ttype\tcount\tcount_as_time\tunit\tdescription\ttype_from\tlisted\tmotion\n";

std::string refusal(const std::string& rows) {
  try {
    iracing::read_standin_variable_table(table_head + rows);
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
  return "";
}

TEST(StandinVariableTable, RefusesRowsItCannotPublishAndNamesTheLine) {
  const std::string good = "Speed\tfloat\t1\t0\tm/s\tGPS vehicle speed\tunit\tlive\tspeed\n";
  const auto table = iracing::read_standin_variable_table(
      table_head + good + "RPM\tdouble\t2\t1\trevs/min\tEngine rpm\tunit\tlive\twave 1 2 3 0\n");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1].row_offset, 8);  // aligned to its size after the float at 0
  EXPECT_TRUE(table[1].count_as_time);
  EXPECT_EQ(table[1].motion.period_seconds, 3.0);

  EXPECT_NE(refusal(good + "Gear\tlong\t1\t0\t\tGear\tunit\tlive\tgear\n").find("line 3: unknown type 'long'"),
            std::string::npos);
  EXPECT_NE(refusal("Gear\tint\t1\t0\t\tGear\tunit\tlive\tgearbox\n").find("line 2: unknown motion"),
            std::string::npos);
  EXPECT_NE(refusal("Gear\tint\t0\t0\t\tGear\tunit\tlive\tgear\n").find("line 2"), std::string::npos);
  EXPECT_NE(refusal("Gear\tint\t1\t0\n").find("4 cells"), std::string::npos);
  EXPECT_NE(refusal("Gear\tint\t1\t0\t\t" + std::string(64, 'x') + "\tunit\tlive\tgear\n").find("does not fit"),
            std::string::npos);
  EXPECT_NE(refusal("Gear\tint\t1\t0\t\tGear\tunit\tlive\twave 1 2 0 0\n").find("period"), std::string::npos);
}

TEST(StandinVariableTable, TheBuiltInTableHasEachNameOnceAndCarArraysForEveryCar) {
  std::set<std::string> names;
  for (const auto& v : iracing::standin_variables()) {
    EXPECT_TRUE(names.insert(v.name).second) << v.name;
    if (v.name.rfind("CarIdx", 0) == 0) {
      EXPECT_EQ(v.count, 64) << v.name;
    }
  }
  for (const char* needed : {"SessionTime", "SessionNum", "Lap", "LapDistPct", "LapLastLapTime", "LapBestLapTime",
                             "Speed", "RPM", "Gear", "PlayerCarIdx", "CarIdxLapDistPct", "Lat", "Lon"}) {
    EXPECT_TRUE(names.contains(needed)) << needed;
  }
}

// The keys of each item of the list `list_key` (at the list's indentation),
// in order, across the whole text.
std::vector<std::vector<std::string>> item_keys(const std::string& text, const std::string& list_line) {
  std::vector<std::vector<std::string>> items;
  std::istringstream lines(text);
  std::size_t dash = std::string::npos;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t indent = line.find_first_not_of(' ');
    if (line == list_line) {
      dash = indent;
      continue;
    }
    if (dash == std::string::npos || indent == std::string::npos) continue;
    if (indent < dash || (indent == dash && line[indent] != '-')) {
      dash = std::string::npos;
      continue;
    }
    if (indent == dash) items.emplace_back();
    const std::size_t key_at = line.find_first_not_of("- ");
    // Keys of the item itself: at its first key's column.
    if (indent == dash || key_at == dash + 2) items.back().push_back(line.substr(key_at, line.find(':') - key_at));
  }
  return items;
}

TEST(StandinSessionText, HasTheSimulatorsShapeAndEveryItemTheSameKeys) {
  for (const std::int32_t update : {1, 2, 3, 17}) {
    const std::string text = iracing::standin_session_text(update, 5510.0);
    EXPECT_EQ(text.rfind("---\nWeekendInfo:\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 4), "...\n");
    EXPECT_EQ(text.find('\0'), std::string::npos) << "the publisher adds the one terminating zero";
    EXPECT_NE(text.find("\n TrackLength: 5.51 km\n"), std::string::npos);
    EXPECT_NE(text.find("\n   SessionTime: 7200.0000 sec\n"), std::string::npos);
    for (const char* list : {" Drivers:", " Sessions:", "   ResultsPositions:"}) {
      const auto items = item_keys(text, list);
      ASSERT_FALSE(items.empty() && std::string(list) != "   ResultsPositions:") << list;
      for (const auto& item : items) EXPECT_EQ(item, items.front()) << list << " update " << update;
    }
    const auto drivers = item_keys(text, " Drivers:");
    ASSERT_GE(drivers.size(), 4u);
    EXPECT_EQ(drivers.front().front(), "CarIdx");
  }
  // The practice results grow and shrink, so a text may be shorter than the one before.
  bool shorter = false;
  for (std::int32_t update = 2; update < 12; ++update) {
    shorter =
        shorter || iracing::standin_session_text(update).size() < iracing::standin_session_text(update - 1).size();
  }
  EXPECT_TRUE(shorter);
}

}  // namespace

}  // namespace vove
