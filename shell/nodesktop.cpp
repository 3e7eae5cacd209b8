// Built without a desktop toolkit: uvpaint is the batch command only.
#include "shell/desktop.h"

int rundesktop(int, char**) { return -1; }
