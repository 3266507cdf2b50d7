// The recorder's two paced loops: polling the sources until one connects,
// and reading frames from the connected one into the dump file until it goes
// down. Both return true when their own condition ended them and false when
// a stop was requested.
#pragma once

#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>

#include "common/pacing.h"
#include "common/stop_signal.h"
#include "dumper/sources.h"
#include "formats/dump_writer.h"
#include "simulators/source.h"

namespace vove {

// What wait_for_connection works on; it owns nothing.
struct WaitContext {
  const SourceList* sources = nullptr;
  std::shared_ptr<Source>* active_source = nullptr;
};

// What record_frames works on; it owns nothing.
struct RecordContext {
  std::shared_ptr<Source>* active_source = nullptr;
  DumpWriter* writer = nullptr;
  std::int32_t* empty_reads = nullptr;       // consecutive empty reads so far
  std::int32_t fps = 0;                      // 1 to 60
  std::chrono::duration<double> idle_end{};  // above 0: the source counts as down after this long without news
};

// Reads in a row without new data after which a source counts as down.
inline constexpr std::int32_t max_empty_reads = 20;
// How long each source may take to attach per poll.
inline constexpr std::chrono::milliseconds connect_timeout{1000};

// Each iteration tries the sources in list order with connect(1000); the
// first that attaches becomes the active source, is announced on `console`
// and ends the loop at once.
bool wait_for_connection(const StopSignal& stop, const WaitContext& context, double rate, const SteadyClock& clock,
                         const Sleeper& sleeper, std::ostream& console = std::cout);

// Reads the source at `rate` frames per second on absolute deadlines, each
// read with a timeout of 1000 / fps ms, and writes one record per deadline:
// the frame read, or the newest one again when the read brought nothing or
// the deadline passed while the process was held up. Such repeats are held
// back until the next new frame, and dropped when the recording ends
// without one. The 21st empty read in a row announces the loss on
// `console`, disconnects the source and ends the loop; so does, with an idle
// end, a source whose publication mark has not moved for that long (it is
// then released by disconnect_idle()). A stop, seen after
// each pacing sleep and between repeats, leaves the source connected.
// Throws std::invalid_argument for fps below 1.
bool record_frames(const StopSignal& stop, const RecordContext& context, double rate, const SteadyClock& clock,
                   const Sleeper& sleeper, std::ostream& console = std::cout);

}  // namespace vove
