// The batch command line: one texture-map run driven by options instead of
// dialogs. Each question of the run is answered from the options; each box is
// printed as one line "TITLE: TEXT".
#pragma once
#include <cstdio>

#include "job/state.h"

struct batchoptions {
    const char* obj;       // --obj: the mesh
    const char* cr2;       // --cr2: the figure whose materials give colours, or null
    const char* out;       // --out: the map; null for a check-only run
    mapkind kind;          // --kind: colored, mesh or transparency
    int separate;          // --separate: one map per material
    int blacktransparent;  // --black-transparent: black stands for transparent
    int invert;            // --invert: top/bottom
    int size;              // --size: 1 to MAXSIDE, 640 when not given
    int overwrite;         // --overwrite: replace an existing map file
    int help, version;     // --help, --version: print and stop
};

// Reads argv[1..argc-1] into o. 1 when the options make a sensible run (or
// ask for help or the version), 0 with a one-line reason in why otherwise.
int parsebatch(int argc, char** argv, batchoptions* o, char* why, int nwhy);
// Reads a size as the size question does (a number, cut to an integer):
// the size, or 0 when it is no number or falls outside 1 to MAXSIDE.
int batchsize(const char* s);
void batchusage(FILE* f);
// True when the arguments ask for the batch command: any that is an option
// (begins with -). File names alone, as a file manager or a drop on the
// program gives them, open the window.
bool wantsbatch(int argc, char** argv);

// The batch command, printing to out and err: 0 when every map was written
// (check-only: every name paired), 1 when a check found names on one side
// only, 2 for everything else (refused options, early stop, failure).
int runbatch(int argc, char** argv, FILE* out, FILE* err);
int runbatch(int argc, char** argv);  // on stdout and stderr
