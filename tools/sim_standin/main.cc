#include "tools/sim_standin/standin_options.h"

std::atomic<bool> standin_stop{false};

int main() { return run_iracing_standin(StandinOptions{}); }
