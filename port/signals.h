// Signals on POSIX systems: a run that is stopped (Ctrl+C, kill, a closed
// terminal) leaves no temporary file behind, and a reader that went away
// makes a write fail instead of ending the run. Windows has none of these.
#pragma once

// Ignores SIGPIPE; on SIGINT, SIGTERM and SIGHUP removes the temporary file
// being written and ends as the signal would. A signal that was ignored when
// the program started (nohup, a background job) stays ignored.
void catchsignals();
// The named temporary file being written, for the signal handler to remove;
// null when there is none. Kept in a buffer of its own: name may go.
void pendingtemp(const char* name);
