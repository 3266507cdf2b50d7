#include "dumper/dumper_entry.h"

int main(int argc, char** argv) { return run_dumper(argc, argv); }
