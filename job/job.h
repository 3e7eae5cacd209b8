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
    int findings;       // the report's status: 1 when it found what is not allowed, else 0
};

// How a front end wants a run made, beyond the answers to its questions;
// all zero for a run of questions alone.
enum reportformat { REPORT_NONE, REPORT_TEXT, REPORT_JSON };

struct joboptions {
    // No figure question: coloured and transparency maps take their colours
    // from the material libraries the mesh names (mtllib), read after it.
    bool meshlibraries;
    // The figure question's answer is a material library whatever its name
    // (else one whose name ends in .mtl or .mtl.gz is, any other a Poser file).
    bool figurelibrary;
    bool alpha;         // PNG maps: unpainted pixels transparent
    bool tiles;         // one map per UDIM tile that holds faces
    bool check;         // the maps are the UV check's picture: no kind question, no figure
    reportformat report;  // the UV check's findings, shown as text (no box for REPORT_NONE)
    bool reportonly;    // the report alone: no map, no figure, no questions after the mesh
    int size;           // the map size the report alone counts pixels at
    unsigned allow;     // kinds of finding (bit 1 << uvkind) that count as none
};

// The help text the front ends show.
extern const char helptext[];

// The check command: asks for a mesh, shows its UV check's report, and
// offers to save the check picture. True when it reached its clean-up,
// false when it stopped early or a run of S was in progress; the window
// stays open either way.
bool checklayout(window wn, jobsession* S, jobreport* rep = nullptr);

// Runs one job with wn as the main window, as opts asks (null: as the
// questions alone say). True when the run reached its clean-up (the caller
// then closes the window), false when it stopped early or when a run of S
// was already in progress.
bool maketexmap(window wn, jobsession* S, jobreport* rep = nullptr, const joboptions* opts = nullptr);
