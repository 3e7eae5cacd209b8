// Stopping a run: one that is stopped (Ctrl+C, kill, a closed terminal or
// console) leaves no temporary file behind, and, on POSIX systems, a reader
// that went away makes a write fail instead of ending the run.
#pragma once

// POSIX: ignores SIGPIPE; on SIGINT, SIGTERM and SIGHUP removes the
// temporary file being written and ends as the signal would (a signal
// ignored when the program started stays ignored). Windows: on Ctrl+C,
// Ctrl+Break and a closed console removes it before the program ends.
void catchsignals();
// The named temporary file being written, for the signal handler to remove;
// null when there is none. Kept in a buffer of its own: name may go.
void pendingtemp(const char* name);
