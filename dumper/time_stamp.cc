#include "dumper/time_stamp.h"

#include <iomanip>
#include <sstream>

std::string utc_time_stamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  // The system clock counts UTC, so calendar arithmetic on it needs no time
  // zone and no platform call.
  const auto seconds_since_epoch = floor<seconds>(time);
  const auto day = floor<days>(seconds_since_epoch);
  const year_month_day date{day};
  const hh_mm_ss clock_time{seconds_since_epoch - day};

  std::ostringstream text;
  text << std::setfill('0') << std::setw(4) << static_cast<int>(date.year()) << '-' << std::setw(2)
       << static_cast<unsigned>(date.month()) << '-' << std::setw(2) << static_cast<unsigned>(date.day())
       << '-' << std::setw(2) << clock_time.hours().count() << '-' << std::setw(2)
       << clock_time.minutes().count() << '-' << std::setw(2) << clock_time.seconds().count();
  return text.str();
}
