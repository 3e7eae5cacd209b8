// The mesh container: six growable arrays and the pool of names, each count
// beside its capacity (capacity carries a trailing underscore). Corners point
// into `point` and `t`, faces into `pts`, groups and materials into `names`;
// those pointers are rebased whenever an array moves.
#pragma once
#include <cstddef>

#include "mesh/types.h"
#include "port/failure.h"
#include "port/names.h"

struct mesh;

struct fcinfo {        // one face corner
    xyz* p;            // its vertex, an element of mesh::point
    xy* t;             // its texture coordinate in mesh::t, or null
};

struct Face {
    fcinfo* q;         // first corner, in mesh::pts; the next n-1 follow
    short n;           // corner count, 1 or more
    short mat;         // index into mesh::mat
    short g;           // index into mesh::group
    // Takes the mesh's current material and group, clears the corners and
    // counts the face on its material.
    void setprops(mesh* m);
};

struct Mat {
    pal3 col;          // colour; black until material matching sets it
    unsigned char cf;  // 1 when col came from the .CR2 file
    int nf;            // faces that carry this material
    const char* name;  // the whole name, however long: in mesh::names
};

struct Group {
    const char* name;  // the whole name, in mesh::names
};

// Material and group indices are 16 bits wide.
enum { MAXINDEX = 32767 };

struct mesh {
    xyz* point;  int np;   int np_;    // vertex positions
    fcinfo* pts; int nq;   int nq_;    // pool of face corners
    Face* fac;   int nf;   int nf_;    // faces, in file order
    Group* group; int ng;  int ng_;    // groups, first appearance order
    short currentgroup;                // group of the next face
    Mat* mat;    int nmat; int nmat_;  // materials, first appearance order
    short currentmat;                  // material of the next face
    xy* t;       int nt;   int nt_;    // texture coordinates
    char* names; size_t nnames; size_t nnames_;  // group and material names, each NUL-ended
    // The material libraries its "mtllib" lines name, in file order, each
    // name NUL-ended: nlib names in nlibtext bytes of room nlibtext_.
    char* lib;   int nlibtext; int nlibtext_;
    int nlib;
    // The names hashed for the look-ups: made by the first, kept in step
    // with the arrays as they change, released with them; empty in an
    // empty mesh.
    nameindex groupnames;
    nameindex matnames;

    void initialize(int j);  // j != 0 releases the arrays first; then all zero
    void delarrays();        // releases the arrays, leaves pointers and counts

    // Capacity rule: k != 0 sizes to exactly x (0 releases); k == 0 grows to x
    // when x exceeds the capacity. 1 when the array exists afterwards (or
    // nothing needed doing), 0 when it failed or was released. A failed
    // reallocation keeps the old array and capacity.
    int setnp_(int x, int k);
    int setnt_(int x, int k);
    int setnq_(int x, int k);
    int setnf_(int x, int k);
    int setng_(int x, int k);
    int setnmat_(int x, int k);
    int setnnames_(size_t x, int k);  // the pool, in bytes; names are rebased
    // A copy of s (null: "") added to the pool, or null when it cannot grow.
    const char* keepname(const char* s);

    // The add operations return the new element's index, or -1 when the
    // array cannot grow.
    int addpoint(xyz p);              // a new vertex
    int addt(xy p);                   // a new texture coordinate
    int addgroup(const char* s);      // a new group named s (null: "")
    int addmat(const char* s);        // a new material named s; a faceless last one is replaced
    int findaddgroup(const char* s);  // first group named s, or a new one
    int findaddmat(const char* s);    // first material named s, or a new one
    int findgroup(const char* s) const;  // first group named s, or -1
    int findmat(const char* s) const;    // first material named s, or -1
    Face* addface(int n);             // face of n corners, or null
    int addlib(const char* s, int n); // a library name of n bytes at s; 0 when no memory
    const char* nextlib(const char* s) const;  // the name after s, or null; null s: the first

    // Reads a Wavefront .OBJ file into the emptied mesh; 1 when read to its
    // end, 0 when it cannot be opened or read or holds a bad line (the
    // reason in *why). "-" is standard input; a compressed file (gzip) is
    // inflated as it is read.
    int readOBJ(const char* file, failure* why);
};

// Adds the file's line counts to the six counters; 1 when read to its end,
// 0 when the file cannot be opened (the reason in *why) or read.
int countOBJ(const char* file, int* NF, int* NQ, int* NP, int* NT, int* NG, int* NMAT, failure* why);
