// Knobs that tests and benchmarks may turn to reach paths the program takes
// only on big inputs or failing machines; the program leaves them as they are.
#pragma once
#include <cstddef>

struct tuning {
    bool objread_parallel;     // the .OBJ reader may read chunks in parallel
    long objread_chunkbytes;   // > 0: chunks of this many bytes; 0: the reader's choice
    // Called by the one-pass reader between its pre-count and its reading
    // pass, with the file's name, when not null.
    void (*objread_betweenpasses)(const char* file);
    int paint_bands;           // > 0: the painting cuts the map into this many bands (at most 32)
    int finish_bands;          // > 0: margin and white edges share rows out in this many bands
    size_t writechunk;         // largest single write of a map file
    // When n > 0, step n of the next map write fails as a full disk would
    // (each write, then the close, then the replace); back to 0 afterwards.
    int writefailstep;
    // > 0: the most bytes a part of an SVG map's faces may take, and the
    // parts are formatted on every core however few the faces.
    int svg_partbytes;
    int uvcheck_threads;       // > 0: the UV check's pixel pass on this many threads
    int uvcheck_bandrows;      // > 0: rows per band of the UV check's pixel pass
    // The map writer as on systems without unnamed files or renameat2: a
    // named temporary file; a new map put in place by link and unlink.
    bool write_namedtemp;
    bool write_linkplace;
    // Called by the map writer, when not null, as it opens the map name and
    // just before the new file takes the name real: where a file may come
    // meanwhile.
    void (*write_beforeopen)(const char* name);
    void (*write_beforeplace)(const char* real);
    // > 0: the longest line of an .OBJ file read as it comes; 0: 1 GiB.
    unsigned long long objread_linelimit;
    size_t objread_streamblock;  // > 0: its first block, in bytes; 0: 1 MB
};

extern tuning knobs;
