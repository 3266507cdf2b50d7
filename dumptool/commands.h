// The entry of each dumptool command, one file each.
#pragma once

#include <string>
#include <vector>

namespace vove {

int run_help_command(const std::vector<std::string>& arguments);
int run_info_command(const std::vector<std::string>& arguments);
int run_vars_command(const std::vector<std::string>& arguments);
int run_session_command(const std::vector<std::string>& arguments);
int run_csv_command(const std::vector<std::string>& arguments);
int run_cut_command(const std::vector<std::string>& arguments);
int run_repair_command(const std::vector<std::string>& arguments);
int run_report_command(const std::vector<std::string>& arguments);
int run_to_ibt_command(const std::vector<std::string>& arguments);
int run_from_ibt_command(const std::vector<std::string>& arguments);

}  // namespace vove
