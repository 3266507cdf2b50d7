#include <iostream>

#include "tools/sim_standin/standin_options.h"

int run_iracing_standin(const StandinOptions&) {
  std::cerr << "sim_standin: the iRacing mode is not built yet\n";
  return 2;
}
