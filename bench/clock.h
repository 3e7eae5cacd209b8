// Timing for the benchmark: the steady clock, medians, and child processes
// timed from spawn to exit together with their peak memory.
#pragma once

double seconds();                         // steady clock, in seconds
double cpuseconds();                      // CPU time of this process, user + system
double median(const double* v, int n);    // middle of n values (n >= 1); v unchanged

struct childrun {       // one timed run of a program
    double secs;        // wall time from spawn to exit
    double cpu;         // its CPU time, user + system
    long kb;            // its peak resident memory (ru_maxrss), kB
    int status;         // exit status; -1 when it could not start or was killed
};

// Runs argv (argv[0] looked up in PATH) with standard output on /dev/null
// and waits for it. Spawn from a small process: a child's peak memory
// counts what the parent held when it was spawned.
childrun runchild(char* const* argv);
