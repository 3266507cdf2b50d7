// Queries of the session text. The known answers come from the reference's
// table of path results for its example text and, for the text with the
// departures from YAML, from the SDK's own scan (tools/check_session_query.sh
// asks it the same and more).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/iracing_session_text.h"
#include "session_text_samples.h"

namespace vove {

namespace {

using iracing::query_session_text;

// "not found" or the value in brackets, so a failure shows trailing spaces.
std::string answer(std::string_view text, std::string_view path) {
  const auto value = query_session_text(text, path);
  return value ? "[" + std::string(*value) + "]" : "not found";
}

struct Known {
  const char* path;
  const char* answer;
};

void expect_answers(const std::string& text, const std::vector<Known>& known) {
  for (const Known& k : known) EXPECT_EQ(answer(text, k.path), k.answer) << k.path;
}

TEST(SessionTextQuery, AnswersTheReferencesPathsOnItsExampleText) {
  expect_answers(session_text_test::reference_example(),
                 {
                     {"WeekendInfo:TrackLength:", "[5.51 km]"},
                     {"WeekendInfo:TrackDisplayName:", "[Harbour Point Motor Circuit]"},
                     {"WeekendInfo:TrackConfigName:", "[Grand Prix]"},
                     {"WeekendInfo:WeekendOptions:TimeOfDay:", "[2:30 pm]"},
                     {"DriverInfo:DriverCarIdx:", "[1]"},
                     {"DriverInfo:Drivers:CarIdx:{3}UserName:", "[Theo Lindqvist]"},
                     {"DriverInfo:Drivers:CarIdx:{1}CarNumber:", "[\"17\"]"},
                     {"DriverInfo:Drivers:CarIdx:{0}AbbrevName:", "[]"},
                     {"DriverInfo:Drivers:CarIdx:{2}UserName:", "not found"},
                     {"SessionInfo:CurrentSessionNum:", "[2]"},
                     {"SessionInfo:Sessions:SessionNum:{0}SessionType:", "[Practice]"},
                     {"SessionInfo:Sessions:SessionNum:{1}SessionType:", "[Lone Qualify]"},
                     {"SessionInfo:Sessions:SessionNum:{2}SessionTime:", "[7200.0000 sec]"},
                     {"SplitTimeInfo:Sectors:SectorNum:{2}SectorStartPct:", "[0.701550]"},
                     {"RadioInfo:Radios:RadioNum:{0}Frequencies:FrequencyNum:{0}FrequencyName:", "[\"@ALLTEAMS\"]"},
                     {"SessionInfo:Sessions:SessionNum:{1}ResultsPositions:Position:{2}CarIdx:", "[1]"},
                 });
}

TEST(SessionTextQuery, ResolvesAsTheSdkDoesWhereThatSurprises) {
  expect_answers(session_text_test::reference_example(),
                 {
                     // The first segment does not bound the scan: CarSetup's UpdateCount.
                     {"WeekendInfo:UpdateCount:", "[1]"},
                     // A deeper one does.
                     {"WeekendInfo:WeekendOptions:Foo:", "not found"},
                     // Levels may be skipped; without a selector the first item answers.
                     {"TrackLength:", "[5.51 km]"},
                     {"DriverInfo:Drivers:UserName:", "[Pace Car]"},
                     // Selectors compare text, not numbers.
                     {"DriverInfo:Drivers:CarIdx:{03}UserName:", "not found"},
                     // The pace car's "AbbrevName: " is empty: the spaces after a colon
                     // are skipped before any value starts.
                     {"DriverInfo:Drivers:AbbrevName:{}UserID:", "[-1]"},
                     {"DriverInfo:Drivers:AbbrevName:{Kowal, M}UserID:", "[700101]"},
                     {"DriverInfo:Drivers:CarIdx:{0}CarClassShortName:", "[]"},
                     // Keys are whole text up to the colon, including its case.
                     {"weekendinfo:TrackLength:", "not found"},
                     {"WeekendInfo:TrackLength", "not found"},
                     {"", "not found"},
                 });
}

TEST(SessionTextQuery, ReadsTextThatIsNotYamlAsTheSdkDoes) {
  expect_answers(session_text_test::quirks(),
                 {
                     // Colons, '#', a leading '-', '*' and '?' are all just value text.
                     {"WeekendInfo:TrackDisplayName:", "[Harbour Point: North # East]"},
                     {"WeekendInfo:TrackConfigName:", "[Grand Prix #2]"},
                     {"DriverInfo:Drivers:CarIdx:{0}UserName:", "[*Admin Ana]"},
                     {"DriverInfo:Drivers:CarIdx:{0}TeamName:", "[- Some Team - Agency]"},
                     {"DriverInfo:Drivers:CarIdx:{2}UserName:", "[? ?]"},
                     {"DriverInfo:Drivers:CarIdx:{2}TeamName:", "[Team #1 Racing: Blue]"},
                     {"DriverInfo:Drivers:CarIdx:{2}AbbrevName:", "[\"Wi\"sniewski, K]"},
                     // Spaces after the colon are skipped, however many; trailing ones kept.
                     {"WeekendInfo:WeekendOptions:Restarts:", "[double file]"},
                     {"DriverInfo:Drivers:CarIdx:{4}CarScreenName:", "[Kestrel LMP2 ]"},
                     // A value starting with a colon comes out one character short.
                     {"WeekendInfo:WeekendOptions:Odd:", "[:starts with a colo]"},
                     // CR ends a line as LF does; Latin-1 bytes pass through.
                     {"DriverInfo:Drivers:CarIdx:{4}UserName:", "[Sean O Brien]"},
                     {"DriverInfo:Drivers:CarIdx:{4}TeamName:", "[Jos\xe9 \x9f Racing]"},
                     {"DriverInfo:Drivers:CarIdx:{4}CarNumber:", "[\"04\"]"},
                     // A value broken over two lines keeps its first line; the second is a key.
                     {"DriverInfo:DriverSetupName:", "[my]"},
                     {"setups/quali.sto", "[]"},
                     // An item without the key answers with the next item's value.
                     {"SessionInfo:Sessions:SessionNum:{1}SessionType:", "[Race]"},
                     {"DriverInfo:Drivers:CarIdx:{0}AbbrevName:", "[\"Wi\"sniewski, K]"},
                     // A tab is no indentation: the line is at depth 0 and ends the scan.
                     {"DriverInfo:Drivers:CarIdx:{4}IRating:", "not found"},
                     {"DriverInfo:Drivers:CarIdx:{10}CarScreenName:", "not found"},
                     // The last line has no line end, so it is never read.
                     {"CarSetup:UpdateCount:", "not found"},
                 });
}

TEST(SessionTextQuery, EndsWhereTheSimulatorsTextEnds) {
  using namespace std::string_literals;
  const std::string text = "A:\n B: one\n"s + '\0' + " C: two\n"s;
  EXPECT_EQ(answer(text, "A:B:"), "[one]");
  EXPECT_EQ(answer(text, "A:C:"), "not found");  // behind the first zero byte
  EXPECT_EQ(iracing::session_text_in(text), "A:\n B: one\n");
  EXPECT_EQ(iracing::session_text_in("no zero"), "no zero");
  // A path is a C string to the SDK: it ends at its first zero byte too.
  EXPECT_EQ(answer(text, "A:B:\0C:"s), "[one]");
  // CR LF, LF CR and lone CRs all end lines; blank lines end nothing.
  EXPECT_EQ(answer("A:\r\n\r\n B:\r\n\n\n  C: x\r", "A:B:C:"), "[x]");
  // A line of spaces does end a scan that went deeper than it.
  EXPECT_EQ(answer("A:\n  B:\n \n  C: x\n", "A:B:C:"), "not found");
  EXPECT_EQ(answer("A:\n  B:\n::\n  C: x\n", "A:B:C:"), "[x]");  // only colons: empty
  // Leading colons are no depth and no key.
  EXPECT_EQ(answer(":A: x\n", "A:"), "[x]");
  EXPECT_EQ(answer("A:\n  B:\n ::\n  C: x\n", "A:B:C:"), "not found");
  EXPECT_EQ(answer("A:\n  B:\n:: :C: x\n", "A:B:C:"), "not found");
  EXPECT_EQ(answer("A:\n  B:\n :: C: x\n", "A:B:C:"), "[x]");
  // A selector without its closing brace matches nothing.
  EXPECT_EQ(answer("A: x\nB: y\n", "A:{x"), "not found");
  EXPECT_EQ(answer("A: x\nB: y\n", "A:{x}"), "[x]");
}

TEST(SessionTextQuery, StaysBoundedOnHostileText) {
  // A line of a million spaces, a million dashes of depth, a key longer
  // than any path, a million empty lines: each read once, nothing kept.
  std::string text = "A:\n" + std::string(1'000'000, ' ') + "B: deep\n";
  EXPECT_EQ(answer(text, "A:B:"), "[deep]");
  text = std::string(1'000'000, '-') + "K: v\n" + std::string(1'000'000, 'k') + ":\n" + std::string(1'000'000, '\n');
  EXPECT_EQ(answer(text, "K:"), "[v]");
  EXPECT_EQ(answer(text, "K:Q:"), "not found");
  // Binary rubbish with zero bytes cut out is read to its end.
  std::string rubbish(1 << 16, '\0');
  for (std::size_t i = 0; i < rubbish.size(); ++i) rubbish[i] = static_cast<char>(1 + (i * 131) % 255);
  EXPECT_EQ(answer(rubbish, "WeekendInfo:TrackDisplayName:"), "not found");
}

TEST(SessionTextCheck, NamesTheLinesNoQueryReaches) {
  EXPECT_EQ(iracing::check_session_text(session_text_test::reference_example()).lines, 0u);
  const iracing::SessionTextProblems problems = iracing::check_session_text(session_text_test::quirks());
  ASSERT_EQ(problems.lines, 3u);
  EXPECT_EQ(problems.first[0], "line 24: no 'key: value' in 'setups/quali.sto'");
  EXPECT_EQ(problems.first[1], "line 40: indented with a tab, which becomes part of its key");
  EXPECT_EQ(problems.first[2], "line 46: the last line has no line end, so no query reads it");
  // However many there are, a few are named.
  EXPECT_EQ(iracing::check_session_text(std::string(100, '\n') + std::string(1000, 'x') + "\n" +
                                        std::string(1000, '\t') + "\n")
                .first.size(),
            2u);
  std::string many;
  for (int i = 0; i < 1000; ++i) many += "no key here\n";
  const auto lots = iracing::check_session_text(many);
  EXPECT_EQ(lots.lines, 1000u);
  EXPECT_EQ(lots.first.size(), 5u);
}

}  // namespace

}  // namespace vove
