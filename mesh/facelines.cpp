// Finding the lines of faces by reading the .OBJ file again.
#include "mesh/facelines.h"
#include "mesh/objread_text.h"

#include <climits>

int facelines(const char* file, const int* faces, int count, long long* lines)
{
    for (int i = 0; i < count; i++) lines[i] = 0;
    if (count <= 0) return 1;
    objtext x;
    if (!opentext(&x, file, 0, ULLONG_MAX, nullptr)) {
        closetext(&x);
        return 0;
    }
    long long line = 0, face = 0;  // lines counted, faces passed
    int next = 0;                  // the first entry not yet found
    char *p, *e;
    while (next < count && nextlines(&x, &p, &e)) {
        lineends ends = startlines(p, e);
        objkey key;
        while (nextkeyed(&p, e, &ends, &line, &key)) {
            // Each "f" line with a token after its key is one face, as the
            // reader adds it.
            if (key == K_F) {
                while (next < count && faces[next] == face) lines[next++] = line;
                if (next == count) break;
                face++;
            }
            p = isbreak(*p) ? p + 1 : ends.find(p) + 1;
        }
    }
    closetext(&x);
    return next == count;
}
