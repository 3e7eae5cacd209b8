// The make-texture-map command: one whole run, from the mesh question to the
// written maps and the clean-up.
#pragma once
#include "shell/prompts.h"

extern char file[PATHSIZE];  // the mesh name; the next run proposes it

struct jobreport {      // what a run came to, for the batch command line
    int cleanup;        // 1 when the run reached its clean-up
    int checkonly;      // 1 for a run without an output file
    int maps;           // maps the run set out to write
    int written;        // maps written
    int unpaired;       // names found on one side only (check-only runs)
};

// Runs one job with wn as the main window. True when the run reached its
// clean-up (the caller then closes the window), false when it stopped
// early or when a run was already in progress.
bool maketexmap(window wn, jobreport* rep = nullptr);

bool jobrunning();      // true while a run is asking or working
