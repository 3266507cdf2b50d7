#include "emulator/emulator_entry.h"

int main(int argc, char* argv[]) { return run_emulator(argc, argv); }
