#include "emulator/emulator_entry.h"

#include <boost/program_options.hpp>

#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/command_line.h"
#include "common/pacing.h"
#include "common/precise_sleep.h"
#include "formats/dump_reader.h"
#include "emulator/replay_loop.h"

namespace options = boost::program_options;

namespace {

// The input path, or nothing when the program is to exit with 1 (help
// shown or command line rejected).
std::optional<std::string> parse_command_line(int argc, const char* const argv[]) {
  try {
    std::string path;
    options::options_description description("Allowed options", 80, 40);
    description.add_options()("help", "Produce help message")(
        "input-file", options::value<std::string>(&path)->required(), "Input file name");

    options::variables_map values;
    store_command_line(argc, argv, description, values);
    // Before notify, so that --help works without the required input file.
    if (values.count("help") != 0) {
      std::cout << description << "\n";
      return std::nullopt;
    }
    options::notify(values);
    return path;
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return std::nullopt;
  }
}

// Declaration order is teardown order in reverse: the selected producer's
// extra reference goes first, then the reader and the file, then the table
// with every producer, so a started producer has released its shared memory
// before anything more is printed.
void replay(const std::string& path, const EmulatorDependencies& dependencies) {
  ProducerTable table = dependencies.make_table();
  std::ifstream input(path, std::ios::binary);
  DumpReader reader(input);

  const SourceId source_id = reader.source_id();
  const auto entry = table.find(source_id);
  if (entry == table.end()) throw std::out_of_range("invalid map<K, T> key");
  const std::shared_ptr<Emulator> producer = entry->second;

  write_source_id(std::cout << "Using emulator: ", source_id) << std::endl;
  producer->start();
  const StopSignal stop = dependencies.make_stop_signal();
  std::cout << "Frames per second: " << reader.fps() << std::endl;
  std::cout << "Emulator started" << std::endl;

  run_replay_loop(stop, *producer, reader, reader.fps(), steady_now, precise_sleep);
}

}  // namespace

int run_emulator(int argc, const char* const argv[], const EmulatorDependencies& dependencies) {
  const std::optional<std::string> path = parse_command_line(argc, argv);
  if (!path) return 1;

  try {
    replay(*path, dependencies);
  } catch (const std::exception& error) {
    // Unwinding has already closed the file and destroyed the producers.
    std::cout << "An error occurred: " << error.what() << std::endl;
  }
  std::cout << "Emulator thread stopped." << std::endl;
  std::cout << "You can now close this window." << std::endl;
  return 0;
}
