// The knobs as the program runs with them.
#include "port/tuning.h"

tuning knobs = {true, 0, nullptr, 0, 0, (size_t)64 << 20, 0, 0, 0, 0, false, false, nullptr, nullptr, 0, 0};
