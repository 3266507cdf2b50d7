#include "dumper/recording_cycle.h"

#include <utility>

#include "common/explained_error.h"
#include "common/precise_sleep.h"
#include "formats/dump_file.h"
#include "formats/dump_writer.h"
#include "dumper/recording_loops.h"
#include "formats/dump_file_name.h"
#include "simulators/shm/shm_connector.h"

namespace vove {

namespace {

// Said once a recording is closed, so the user knows that some stretches of
// the file show the simulator standing still; nothing when none do.
void report_repeats(const DumpWriter& writer, std::ostream& diagnostics) {
  const std::uint64_t repeats = writer.repeated_records();
  if (repeats == 0) return;
  diagnostics << repeats << " of " << writer.records() << " frames " << (repeats == 1 ? "repeats" : "repeat")
              << " the frame before, for moments when the source had nothing new or the recorder was held up"
              << std::endl;
}

// Records the connected source into one new dump file until it goes down or
// a stop is requested.
void record_one_file(const StopSignal& stop, const RecordingSettings& settings, std::shared_ptr<Source>& active_source,
                     const RecordingEnvironment& environment) {
  const std::int32_t fps = settings.fps;
  std::ostream& console = *environment.console;
  DumpFile file(environment.directory, utc_time_stamp(environment.wall_clock()), environment.make_file_buffer());
  console << "Dump will be saved to " << file.name() << std::endl;
  try {
    DumpWriter writer(file.stream(), static_cast<std::uint32_t>(fps), active_source->source_id());
    console << "Saver started" << std::endl;
    std::int32_t empty_reads = 0;
    const RecordContext context{&active_source, &writer, &empty_reads, fps, settings.idle_end};
    record_frames(stop, context, static_cast<double>(fps), environment.clock, environment.sleeper, console);
    file.close();
    report_repeats(writer, *environment.diagnostics);
  } catch (const DumpWriteError& error) {
    // The file is cut back to its complete records as it is closed on the
    // way out.
    throw DumpFileWriteError(file.name(), file_failure(error.system_error(), file.name()));
  }
}

}  // namespace

RecordingEnvironment default_recording_environment() {
  RecordingEnvironment environment;
  environment.sources = make_sources();
  environment.clock = SteadyClock{};
  environment.sleeper = precise_sleep;
  environment.wall_clock = [] { return std::chrono::system_clock::now(); };
  environment.make_file_buffer = [] { return std::make_unique<std::filebuf>(); };
  return environment;
}

void run_recording_cycle(const StopSignal& stop, const RecordingSettings& settings) {
  RecordingEnvironment environment = default_recording_environment();
  if (!settings.shm_names.empty()) environment.sources = {std::make_shared<shm::Connector>(settings.shm_names)};
  run_recording_cycle(stop, settings, std::move(environment));
}

void run_recording_cycle(const StopSignal& stop, const RecordingSettings& settings, RecordingEnvironment environment) {
  // Declared in this order so the active source is released before the list.
  const SourceList sources = std::move(environment.sources);
  std::shared_ptr<Source> active_source;
  std::ostream& console = *environment.console;

  while (!stop.stop_requested()) {
    console << "Waiting for the connection" << std::endl;
    const WaitContext context{&sources, &active_source};
    wait_for_connection(stop, context, 1.0, environment.clock, environment.sleeper, console);
    if (stop.stop_requested()) break;
    record_one_file(stop, settings, active_source, environment);
  }
}

}  // namespace vove
