// The entry of each dumptool command, one file each.
#pragma once

#include <string>
#include <vector>

int run_help_command(const std::vector<std::string>& arguments);
