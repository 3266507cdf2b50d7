#include "dumptool/dumptool_entry.h"

using namespace vove;

int main(int argc, char* argv[]) { return run_dumptool(argc, argv); }
