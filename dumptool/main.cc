#include "dumptool/dumptool_entry.h"

int main(int argc, char* argv[]) { return run_dumptool(argc, argv); }
