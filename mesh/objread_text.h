// What both .OBJ readers (one pass over the file, or chunks in parallel)
// share: the file, or a byte range of it, handed out as runs of whole lines,
// the pre-count, and the two readers themselves. The inline scanning of
// lines and tokens is in objscan.h.
#pragma once
#include "mesh/objscan.h"
#include "port/failure.h"

#include <cstdio>

// A byte range of an .OBJ file handed out as runs of whole lines.
struct objtext {
    FILE* f;
    char* mem;    // the block: room bytes from its first aligned byte, then 1 + 16
    size_t room;
    char* buf;    // the bytes held start here, within the room
    size_t len;   // bytes held
    size_t used;  // bytes already handed out
    unsigned long long left;  // bytes of the range not yet read
    bool eof;
    bool err;     // a read error, or no memory for a long line
    bool nomemory;   // with err: no memory
    int errnum;      // with err: errno of the read error
    bool bounded;    // the range ends before the end of the file
    bool shortread;  // the file ended before a bounded range did
};

// Opens file for reading from byte start for len bytes (ULLONG_MAX: to its
// end). 0 when it cannot be opened ("I can't open this file" in *why, when
// why is not null) or the start cannot be reached.
int opentext(objtext* x, const char* file, long start, unsigned long long len, failure* why);
void closetext(objtext* x);  // null-safe after opentext, whatever it returned

// The next run of whole lines [*b, *e), each ended by its line break; a last
// line without one gets a line feed. 0 at the end of the range or on error.
int nextlines(objtext* x, char** b, char** e);

// The pre-count of one run of lines: what countOBJ adds to its counters.
struct objcounts {
    long long nf, nq, np, nt, ng, nmat;
};

// Adds the counts of the run of lines [p, e) to *c, 64 bytes at a time.
void countlines(const char* p, const char* e, objcounts* c);
// The marks of the 64 bytes at p: bit i of *tok set when p[i] is a token
// byte, of *brk when it is a line break (marks64words without vectors).
void marks64(const char* p, uint64_t* tok, uint64_t* brk);

// Hands each name of an "mtllib" line at p, its first token after the key,
// to add(name, bytes); returns the line break, or null when add failed.
template <class F>
inline char* readlibs(char* p, F add)
{
    while (!isbreak(*p)) {
        char* e = skiptoken(p);
        if (!add(p, (int)(e - p))) return nullptr;
        p = skipsep(e);
    }
    return p;
}

// After a read, every array sized to its count, in the reader's order.
void trimarrays(mesh* m);
// Whether a group or material is named s already.
bool hasgroup(const mesh* m, const char* s);
bool hasmat(const mesh* m, const char* s);
// Whether a group (group) or material named s can have an index: it is
// there already, or one more fits in 16 bits (a faceless last material
// gives its slot up). A name that cannot makes its line bad.
bool namefits(const mesh* m, bool group, const char* s);

// The token at p as a C string for a name look-up: ended in place, and
// restored when the look-up is over.
struct tokenname {
    char* end;
    char kept;
    explicit tokenname(char* p) : end(skiptoken(p)), kept(*end) { *end = 0; }
    ~tokenname() { *end = kept; }
};

// Reading in parallel (objread_par.cpp): 1 when the file has been read into
// the emptied mesh exactly as the one-pass reader would read it, which then
// only trims; 0 when the mesh must be emptied and the file read by the
// one-pass reader (a bad line, a read error, a file that changed, a limit
// met), which also finds every failure. Used when knobs.objread_parallel.
int readparallel(mesh* m, const char* file);

// The pre-count of countOBJ, in parallel: 1 with the file's counts in
// *all; 0 when the file cannot be opened or read, which the one-pass count
// then finds again and reports.
int countparallel(const char* file, objcounts* all);

// The one-pass reader behind mesh::readOBJ, the reference and fallback of
// readparallel; its failure goes to *why.
int readsequential(mesh* m, const char* file, failure* why);

struct input;
// The longest line a file read as it comes may hold (1 GiB); beyond it the
// line is refused before it takes the memory. knobs.objread_linelimit
// lowers it for tests.
unsigned long long linelimit();
// Reading a file that can be read only once, as it comes (standard input,
// a pipe, a compressed file: objread_stream.cpp): the one-pass reader's
// mesh and failures for the same text, without a pre-count. Reads the
// opened input in to its end; the caller closes it.
int readstream(mesh* m, input* in, failure* why);
