// Writes a lap report as one HTML page that needs nothing else: the data,
// the charting library, the page's script and style are all inside it.
#pragma once

#include <string>

#include "dumptool/report_content.h"

namespace vove {

std::string render_report_page(const ReportContent& content);

}  // namespace vove
