// The finishing rules done plainly, pixel by pixel, for the tests to compare.
#include "reference.h"

void refmargin(image* J, unsigned char* flags, int n)
{
    for (int v = 0; v < 4; v++) {
        for (int i = 1; i < n; i++) {  // vertical sweep
            pal3* K = J->Row(i);
            pal3* L = J->Row(i - 1);
            unsigned char* k = flags + (size_t)i * n;
            unsigned char* l = k - n;
            for (int j = 0; j < n; j++) {
                if (!(k[j] & 1) && (l[j] & 1)) K[j] = L[j], k[j] = 2;
                if (!(l[j] & 1) && (k[j] & 1)) L[j] = K[j], l[j] = 2;
            }
        }
        for (int i = 0; i < n; i++) {  // horizontal sweep
            pal3* K = J->Row(i);
            unsigned char* k = flags + (size_t)i * n;
            for (int j = 1; j < n; j++) {
                if (!(k[j] & 1) && (k[j - 1] & 1)) K[j] = K[j - 1], k[j] = 2;
                if (!(k[j - 1] & 1) && (k[j] & 1)) K[j - 1] = K[j], k[j - 1] = 2;
            }
        }
        for (size_t p = 0; p < (size_t)n * n; p++)  // settle
            if (flags[p]) flags[p] = 1;
    }
}

namespace {
int bright(const pal3& p) { return p.blue + p.green + p.red; }
}

void refwhiteedges(image* J, const unsigned char* flags, int n)
{
    const pal3 white(255, 255, 255);
    const int l = 100;
    for (int i = 1; i < n; i++) {
        pal3* K = J->Row(i);
        pal3* L = J->Row(i - 1);
        const unsigned char* k = flags + (size_t)i * n;
        const unsigned char* u = k - n;
        for (int j = 0; j < n; j++) {
            if (k[j] == 0 && u[j] != 0 && bright(L[j]) < l) K[j] = white;
            if (u[j] == 0 && k[j] != 0 && bright(K[j]) < l) L[j] = white;
        }
    }
    for (int i = 0; i < n; i++) {
        pal3* K = J->Row(i);
        const unsigned char* k = flags + (size_t)i * n;
        for (int j = 1; j < n; j++) {
            if (k[j] == 0 && k[j - 1] != 0 && bright(K[j - 1]) < l) K[j] = white;
            if (k[j - 1] == 0 && k[j] != 0 && bright(K[j]) < l) K[j - 1] = white;
        }
    }
}
