// The desktop front end of the Linux program.
#pragma once

// Opens the main window and runs until it closes; the exit status. -1 when
// there is no desktop to open (no display, or built without one).
int rundesktop(int argc, char** argv);
