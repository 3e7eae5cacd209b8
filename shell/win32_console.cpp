// The console companion's entry point: uvpaint.com, the same program built
// for the console, so that a command prompt waits for the batch command and
// shows its messages (cmd picks .com before .exe).
#include "shell/win32_shell.h"

int main() { return uvpaintmain(GetModuleHandleW(nullptr)); }
