// The files a lap report carries inside it: the charting library with its
// license, and the page's own script and style. The build embeds them.
#pragma once

#include <string_view>

namespace vove {

std::string_view report_chart_library_script() noexcept;
std::string_view report_chart_library_style() noexcept;
std::string_view report_chart_library_license() noexcept;
std::string_view report_page_script() noexcept;
std::string_view report_page_style() noexcept;

}  // namespace vove
