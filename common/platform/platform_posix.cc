#include "common/platform/platform.h"
