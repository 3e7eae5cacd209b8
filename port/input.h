// Files as every reader takes them: opened by name ("-" is standard input),
// read in blocks, and inflated on the way when they begin with the gzip
// mark (1F 8B), whatever their name. A compressed file is inflated on a
// thread of its own, a block ahead of the reader.
#pragma once
#include <cstddef>
#include <cstdio>

#include "port/failure.h"

enum infault {         // what stopped a read before the true end
    IN_FINE,           // nothing: the end was the end
    IN_READERROR,      // the system could not read (errno in err)
    IN_CUTSHORT,       // the compressed data ends in the middle
    IN_CORRUPT,        // the compressed data is not what gzip writes
    IN_NOMEMORY,       // no memory to inflate with
};

struct inflater;       // the inflating thread and its blocks (input.cpp)

struct input {
    const char* name;      // as given, for messages
    FILE* f;               // the file, or standard input
    bool regular;          // a plain file on a disk, not standard input
    bool compressed;       // it began with the gzip mark: its bytes are inflated
    unsigned char head[2]; // bytes read to look for the mark, handed out first
    int nhead;             // bytes in head
    int usedhead;          // of them handed out
    inflater* z;           // the inflating, when compressed; else null
    bool ended;            // the last byte has been handed out, or a fault met
    infault fault;         // why reading stopped early
    int err;               // errno of IN_READERROR
};

// Opens name for reading; "-" is standard input. 1 when open; 0 with
// "I can't open this file" and the system's reason in *why (a folder gives
// EISDIR), or "out of memory".
int inopen(input* in, const char* name, failure* why);
// Copies up to n bytes of the file's content (inflated) to p; fewer only at
// the end or at a fault; 0 once nothing is left. in->fault tells the end
// from a fault.
size_t inread(input* in, void* p, size_t n);
// The fault of in as a failure naming its file; 0, as fail() returns.
int infailure(const input* in, failure* why);
// Closes the file (never standard input) and stops the inflating; safe on
// an input that was never opened or whose opening failed.
void inclose(input* in);

// True when name is "-", standard input as a file name.
bool isstdin(const char* name);
// True when name can only be read once, as it comes: standard input, a
// pipe, a socket or a device (the readers that seek cannot take it).
bool isstream(const char* name);
// The file name as the folder of `file` would find it: name itself when
// absolute (or when file has no folder), else file's folder and name. 0
// when the result would not fit in room bytes.
int besidefile(char* out, size_t room, const char* file, const char* name);
