// The make-texture-map command: one whole run, from the mesh question to the
// written maps and the clean-up.
#pragma once
#include "port/prompts.h"

// What outlives a run, kept by the front end that runs them.
struct jobsession {
    char file[PATHSIZE];   // the mesh name; the next run proposes it
    bool running;          // a run is asking or working: no second one
};

struct jobreport {      // what a run came to, for the batch command line
    int cleanup;        // 1 when the run reached its clean-up
    int checkonly;      // 1 for a run without an output file
    int maps;           // maps the run set out to write
    int written;        // maps written
    int unpaired;       // names found on one side only
    int paired;         // materials of the mesh that took a colour; -1 for a mesh map
};

// How a front end wants a run made, beyond the answers to its questions.
struct joboptions {
    // No figure question: coloured and transparency maps take their colours
    // from the material libraries the mesh names (mtllib), read after it.
    bool meshlibraries;
    // The figure question's answer is a material library whatever its name
    // (else one whose name ends in .mtl or .mtl.gz is, any other a Poser file).
    bool figurelibrary;
};

// The help text the front ends show.
extern const char helptext[];

// Runs one job with wn as the main window, as opts asks (null: as the
// questions alone say). True when the run reached its clean-up (the caller
// then closes the window), false when it stopped early or when a run of S
// was already in progress.
bool maketexmap(window wn, jobsession* S, jobreport* rep = nullptr, const joboptions* opts = nullptr);
