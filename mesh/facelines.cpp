// Finding the lines of faces by reading the .OBJ file again.
#include "mesh/facelines.h"
#include "mesh/objread_text.h"

#include <climits>

namespace {
// Counts the line ends in [p, e): a line feed, a carriage return, or the two
// together; *cr carries a carriage return that ended the bytes before p.
long long breaks(const char* p, const char* e, bool* cr)
{
    long long n = 0;
    for (; p < e; p++) {
        if (*p == '\n') n += !*cr;
        else if (*p == '\r') n++;
        *cr = *p == '\r';
    }
    return n;
}
}  // namespace

int facelines(const char* file, const int* faces, int count, long long* lines)
{
    for (int i = 0; i < count; i++) lines[i] = 0;
    if (count <= 0) return 1;
    objtext x;
    if (!opentext(&x, file, 0, ULLONG_MAX, nullptr)) {
        closetext(&x);
        return 0;
    }
    long long line = 0, face = 0;  // lines as the reader counts them, faces passed
    long long ends = 0;            // line ends before `counted`
    bool cr = false;
    int next = 0;                  // the first entry not yet found
    char *p, *e;
    while (next < count && nextlines(&x, &p, &e)) {
        lineends le = startlines(p, e);
        const char* counted = p;
        objkey key;
        while (nextkeyed(&p, e, &le, &line, &key)) {
            // Each "f" line with a token after its key is one face, as the
            // reader adds it; its line is the one p stands on.
            if (key == K_F) {
                ends += breaks(counted, p, &cr);
                counted = p;
                while (next < count && faces[next] == face) lines[next++] = ends + 1;
                if (next == count) break;
                face++;
            }
            p = isbreak(*p) ? p + 1 : le.find(p) + 1;
        }
        ends += breaks(counted, e, &cr);
    }
    closetext(&x);
    return next == count;
}
