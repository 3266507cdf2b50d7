// The samples of a lap report from an ACC recording: laps from the graphics
// page's completedLaps, normalizedCarPosition and iLastTime, the channels
// from the physics page, the summary from the static and graphics pages.
#pragma once

#include "common/progress_line.h"
#include "dumptool/report_samples.h"
#include "formats/dump_frames.h"

namespace vove {

// Fills `recording` (rate and damage already set) from the frames of an ACC
// recording; frames that do not inflate are passed over and counted.
void read_acc_samples(DumpFrames& frames, ReportRecording& recording, ProgressLine* progress);

}  // namespace vove
