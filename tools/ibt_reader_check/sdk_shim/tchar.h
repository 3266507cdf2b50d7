// Just enough of the Windows text macros for the simulator SDK's .ibt reader
// to build on Linux, where the export check runs it; not part of any program.
#pragma once
#include <string.h>
typedef char _TCHAR;
#define _T(text) text
#define strncpy_s(destination, source, count) strncpy((destination), (source), (count))
