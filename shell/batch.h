// The batch command line: one texture-map run driven by options instead of
// dialogs. Each question of the run is answered from the options; each box is
// printed as one line, "TITLE: TEXT", or "uvpaint: FILE: MESSAGE (REASON)"
// for a file that could not be opened, read or written.
#pragma once
#include <cstdio>

#include "job/state.h"


enum { MAXWARNINGS = 12, WARNINGSIZE = 160 };

struct batchoptions {
    const char* obj;       // --obj, or the one name given: the mesh
    const char* cr2;       // --cr2, -c: the figure whose materials give colours, or null
    const char* mtl;       // --mtl: a material library to take the colours from, or null
    const char* out;       // --out, -o: the map; null for a check-only run
    mapkind kind;          // --kind, -k
    int separate;          // --separate: one map per material
    int blacktransparent;  // --black-transparent: black stands for transparent
    int invert;            // --invert: top/bottom
    int size;              // --size, -s: 1 to MAXSIDE, 640 when not given
    int overwrite;         // --overwrite: replace an existing map file
    int alpha;             // --alpha: PNG maps with unpainted pixels transparent
    int tiles;             // --tiles: one map per UDIM tile
    reportformat report;   // --report[=text|json]: the UV check's findings
    const char* allow;     // --allow: kinds of finding a pipeline accepts, or null
    unsigned allowed;      // those kinds, bit 1 << uvkind each
    int quiet;             // --quiet, -q: errors only
    int help, version;     // --help, -h, --version, -V: print and stop
    // Options that have no effect in the run asked for, a line each.
    char warning[MAXWARNINGS][WARNINGSIZE];
    int nwarnings;
};

// Reads argv[1..argc-1] into o, by the usual rules: --name=value or --name
// value, the short forms, -- to end the options, a lone name as the mesh.
// 1 when the options make a sensible run (or ask for help or the version),
// 0 with a one-line reason in why otherwise.
int parsebatch(int argc, char** argv, batchoptions* o, char* why, int nwhy);
// A size as the options take it: a whole number from 1 to MAXSIDE, digits
// only; 0 for anything else.
int batchsize(const char* s);
void batchusage(FILE* f);
void batchhelp(FILE* f);   // the usage, what the program does, and every option
// True when the arguments ask for the batch command: any that is an option
// (begins with -). File names alone, as a file manager or a drop on the
// program gives them, open the window.
bool wantsbatch(int argc, char** argv);

// The batch command, printing to out and err: 0 when every map was written
// (check-only: every name paired), 1 when a check found names on one side
// only or a map's materials paired with none of the figure's, 2 for
// everything else (refused options, early stop, failure).
int runbatch(int argc, char** argv, FILE* out, FILE* err);
int runbatch(int argc, char** argv);  // on stdout and stderr
