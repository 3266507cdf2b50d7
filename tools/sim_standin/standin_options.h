// Options of the simulator stand-in, shared by its publishers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct StandinOptions {
  std::string simulator = "iracing";  // "iracing" or "acc"
  double rate_hz = 60.0;              // updates per second
  double run_seconds = 0.0;           // 0: until SIGINT or SIGTERM
  // Further behaviour switches are added by the publishers that use them.
  double pause_after_seconds = 0.0;   // 0: never; else stop producing (iRacing: clear `connected`; ACC: sim_status 0)
  double restart_after_seconds = 0.0; // 0: never; else restart with lower ticks (iRacing)
  bool exit_after_pause = false;      // exit right after pausing
};

// Set by SIGINT/SIGTERM in the stand-in; publishers poll it.
extern std::atomic<bool> standin_stop;

int run_iracing_standin(const StandinOptions& options);
int run_acc_standin(const StandinOptions& options);
