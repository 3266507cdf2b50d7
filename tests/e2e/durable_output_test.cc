// An output that was reported complete survives a power cut: it is on the
// disk before it takes its final name, and the name is on the disk after.
// Watched from outside with strace, which shows each descriptor's path.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

bool strace_works() { return std::system("strace -o /dev/null true >/dev/null 2>&1") == 0; }

// `program` run under strace, its `calls` written to `trace`. A leak
// checker cannot run under ptrace, so a sanitized build is told to skip it;
// its other checks stay on.
std::vector<std::string> traced(const std::filesystem::path& trace, const std::string& calls,
                                const std::vector<std::string>& program) {
  const char* options = std::getenv("ASAN_OPTIONS");
  std::string sanitizer = options != nullptr && *options != '\0' ? std::string(options) + ":" : std::string();
  sanitizer += "detect_leaks=0";
  std::vector<std::string> argv{
      "strace", "-f", "-y", "-o", trace.string(), "-E", "ASAN_OPTIONS=" + sanitizer, "-e", "trace=" + calls};
  argv.insert(argv.end(), program.begin(), program.end());
  return argv;
}

std::vector<std::string> lines_of(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The position of the first line at or after `from` that matches; npos for none.
std::size_t find_line(const std::vector<std::string>& lines, const std::regex& pattern, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (std::regex_search(lines[i], pattern)) return i;
  }
  return std::string::npos;
}

}  // namespace

TEST(DurableOutput, AFinishedDumptoolFileIsFlushedBeforeAndAfterItsRename) {
  if (programs_run_under_runner()) GTEST_SKIP() << "strace watches native processes";
  if (!strace_works()) GTEST_SKIP() << "strace is not installed or may not trace here";
  E2eSandbox sandbox("durable_dumptool_output");
  write_dump(sandbox.directory() / "in.bin", 10, iracing::iracing_source_id,
             {make_iracing_payload(1, 64, 7), make_iracing_payload(2, 64, 8)});
  const auto trace = sandbox.directory() / "trace.log";
  auto process = sandbox.start_command(traced(trace, "fsync,fdatasync,rename,renameat,renameat2",
                                              {program_path("dumptool"), "cut", "in.bin", "-o", "out.bin"}),
                                       "strace_dumptool");
  const auto status = process->wait_for_exit(60s);
  ASSERT_TRUE(status && status->exited && status->code == 0) << process->standard_error();
  ASSERT_TRUE(std::filesystem::exists(sandbox.directory() / "out.bin"));

  const std::vector<std::string> lines = lines_of(trace);
  const std::size_t rename = find_line(lines, std::regex(R"(rename.*\.out\.bin\.partial-[0-9]+.*out\.bin)"));
  ASSERT_NE(rename, std::string::npos) << "no rename into place in the trace";
  const std::size_t file_flush =
      find_line(lines, std::regex(R"(f(data)?sync\([0-9]+<[^>]*\.out\.bin\.partial-[0-9]+>\) += 0)"));
  EXPECT_LT(file_flush, rename) << "the file's data is flushed before it takes the final name";
  // The directory's own descriptor, shown by its path: "fsync(4</tmp/x>) = 0".
  const std::string directory = std::filesystem::canonical(sandbox.directory()).string();
  std::size_t directory_flush = std::string::npos;
  for (std::size_t i = rename + 1; i < lines.size() && directory_flush == std::string::npos; ++i) {
    if (lines[i].find("fsync(") != std::string::npos && lines[i].find("<" + directory + ">) = 0") != std::string::npos)
      directory_flush = i;
  }
  EXPECT_NE(directory_flush, std::string::npos) << "the directory is flushed after the rename";
}

// A recording that ends because its source went down is on the disk before
// the recorder says so and waits for the next connection.
TEST(DurableOutput, ARecordingIsFlushedWhenItsFileCloses) {
  if (programs_run_under_runner()) GTEST_SKIP() << "strace watches native processes";
  if (!strace_works()) GTEST_SKIP() << "strace is not installed or may not trace here";
  E2eSandbox sandbox("durable_recording");
  auto standin = start_standin(sandbox, {});
  const auto trace = sandbox.directory() / "trace.log";
  auto dumper =
      sandbox.start_command(traced(trace, "fsync,fdatasync", {program_path("dumper"), "--fps", "30"}), "strace_dumper");
  ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  std::this_thread::sleep_for(500ms);
  stop_with_interrupt(*standin, "stand-in");
  ASSERT_TRUE(dumper->wait_for_output("Source is down, disconnecting\nWaiting for the connection\n", 30s))
      << dumper->standard_output();

  const auto files = sandbox.dump_files();
  ASSERT_EQ(files.size(), 1u);
  const std::string file = std::filesystem::canonical(files.front()).string();
  const std::vector<std::string> lines = lines_of(trace);
  const std::size_t flush =
      find_line(lines, std::regex("fsync\\([0-9]+<[^>]*" + files.front().filename().string() + ">\\) += 0"));
  EXPECT_NE(flush, std::string::npos) << "the closed recording " << file << " is flushed to the disk";

  // strace does not pass signals on: the recorder's own process id starts
  // each line of the trace.
  ASSERT_FALSE(lines.empty());
  const pid_t recorder = static_cast<pid_t>(std::stol(lines.front()));
  ASSERT_EQ(::kill(recorder, SIGINT), 0);
  const auto status = dumper->wait_for_exit(30s);
  EXPECT_TRUE(status && status->exited && status->code == 0) << dumper->standard_output();
}

}  // namespace vove
