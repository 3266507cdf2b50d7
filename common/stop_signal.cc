#include "common/stop_signal.h"
