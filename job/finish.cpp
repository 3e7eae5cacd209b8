#include "job/finish.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// The flags are read eight at a time as one 64-bit word, byte k of the word
// being column j0 + k. Most words are all empty or all painted; only an
// empty flag with a flagged neighbour (a target) can change, so only those
// bytes are looked at one by one. The targets of a row are found one row
// before they are worked, with the pixels they need asked into the cache.

namespace {

const uint64_t ONES = 0x0101010101010101ull;

// Up to eight flags from p; bytes past the row are 0.
inline uint64_t load(const unsigned char* p, int w)
{
    uint64_t v = 0;
    if (w == 8) std::memcpy(&v, p, 8);  // a constant size: one move, no call
    else std::memcpy(&v, p, (size_t)w);
    return v;
}

// 1 in each byte of x whose bit 0 is set: a flagged pixel (a margin source:
// flags are 0 or 1 between passes).
inline uint64_t bit0(uint64_t x) { return x & ONES; }

inline uint64_t validbytes(int w) { return w == 8 ? ~0ull : (1ull << (8 * w)) - 1; }

inline int brightness(const pal3& p) { return p.blue + p.green + p.red; }

// One word of a row: its targets T and the sides on which they have a
// flagged neighbour.
struct targets {
    int j0;
    uint64_t T, R, L, D, U;
};

// The targets of row i, word by word. For each word that holds some, asks
// for the pixels they will read and write: by the time they are worked, one
// row later, those are in the cache. Returns how many words hold targets.
int findtargets(image* J, const unsigned char* flags, int n, int i, targets* out)
{
    const unsigned char* row = flags + (size_t)i * n;
    const unsigned char* up = i > 0 ? row - n : nullptr;
    const unsigned char* down = i + 1 < n ? row + n : nullptr;
    const char* K = (const char*)J->Row(i);
    const long LL = J->LL;
    int found = 0;
    for (int j0 = 0; j0 < n; j0 += 8) {
        int w = n - j0 < 8 ? n - j0 : 8;
        uint64_t C = bit0(load(row + j0, w));
        uint64_t U = up ? bit0(load(up + j0, w)) : 0;
        uint64_t D = down ? bit0(load(down + j0, w)) : 0;
        uint64_t L = (C << 8) | (j0 > 0 ? bit0(row[j0 - 1]) : 0);
        uint64_t R = (C >> 8) | (j0 + 8 < n ? bit0(row[j0 + 8]) << 56 : 0);
        uint64_t T = (U | D | L | R) & ~C & ONES & validbytes(w);
        if (!T) continue;
        out[found++] = targets{j0, T, R, L, D, U};
        const char* k = K + 3L * j0;
        __builtin_prefetch(k, 1);
        __builtin_prefetch(k + 23, 1);
        if (D) {  // the row below lies one row length lower in the block
            __builtin_prefetch(k - LL);
            __builtin_prefetch(k - LL + 23);
        }
        if (U) {
            __builtin_prefetch(k + LL);
            __builtin_prefetch(k + LL + 23);
        }
    }
    return found;
}

// Which neighbour a margin target copies, by its source sides right (bit 0),
// left (bit 1) and below (bit 2): right, else left, else below, else above,
// as the last copy of the step-by-step sweeps would be. 0 right, 1 left,
// 2 below, 3 above.
const unsigned char PICK[8] = {3, 0, 1, 0, 2, 0, 1, 0};

// Colours and flags the margin targets of row i. The choice is made without
// branches; words with many targets are copied whole, the other pixels onto
// themselves.
void filltargets(image* J, unsigned char* flags, int n, int i, const targets* t, int count)
{
    unsigned char* row = flags + (size_t)i * n;
    pal3* K = J->Row(i);
    const long below = i + 1 < n ? J->Row(i + 1) - K : 0, above = i > 0 ? J->Row(i - 1) - K : 0;
    const long offset[4] = {1, -1, below, above};
    for (int e = 0; e < count; e++) {
        const targets& w = t[e];
        uint64_t sides = (w.R & ONES) | (w.L & ONES) << 1 | (w.D & ONES) << 2;
        pal3* k = K + w.j0;
        uint64_t two = w.T & (w.T - 1);
        if ((two & (two - 1)) && w.j0 + 8 <= n) {  // three targets or more
            for (int b = 0; b < 8; b++) {
                long take = (w.T >> (8 * b)) & 1;
                long off = offset[PICK[(sides >> (8 * b)) & 7]];
                k[b] = k[b + (off & -take)];
            }
            uint64_t f;
            std::memcpy(&f, row + w.j0, 8);
            f |= w.T;
            std::memcpy(row + w.j0, &f, 8);
            continue;
        }
        uint64_t T = w.T;
        do {
            int b = __builtin_ctzll(T);
            k[b >> 3] = k[(b >> 3) + offset[PICK[(sides >> b) & 7]]];
            row[w.j0 + (b >> 3)] = 1;
            T &= T - 1;
        } while (T);
    }
}

// Whitens the targets of row i that have a dark flagged neighbour. Each of
// the four sides is tested without a branch: a side that is not flagged
// looks at the target itself and does not count.
void whitentargets(image* J, int n, int i, const targets* t, int count)
{
    const pal3 white(255, 255, 255);
    pal3* K = J->Row(i);
    const long below = i + 1 < n ? J->Row(i + 1) - K : 0;
    const long above = i > 0 ? J->Row(i - 1) - K : 0;
    for (int e = 0; e < count; e++) {
        const targets& w = t[e];
        pal3* k = K + w.j0;
        uint64_t T = w.T;
        do {
            int b = __builtin_ctzll(T);
            int j = b >> 3;
            long r = (w.R >> b) & 1, l = (w.L >> b) & 1, d = (w.D >> b) & 1, u = (w.U >> b) & 1;
            int dark = (r & (brightness(k[j + (1 & -r)]) < WHITEEDGE)) |
                       (l & (brightness(k[j - (1 & -l)]) < WHITEEDGE)) |
                       (d & (brightness(k[j + (below & -d)]) < WHITEEDGE)) |
                       (u & (brightness(k[j + (above & -u)]) < WHITEEDGE));
            if (dark) k[j] = white;
            T &= T - 1;
        } while (T);
    }
}

}  // namespace

size_t finishworksize(int n)
{
    return MARGINPASSES * 2 * ((size_t)n / 8 + 1) * sizeof(targets);
}

// Pass v works on row r (finding its targets, then filling row r - 1) once
// pass v - 1 has filled rows up to r + 1, so the four passes run together
// two rows apart and each row comes from memory once for all of them.
// Within a pass, row r - 1 is filled after the last look at its flags (from
// rows r - 2, r - 1 and r), so its new pixels take flag 1 at once and are no
// sources in this pass. work holds two rows of targets per pass.
void addmargin(image* J, unsigned char* flags, int n, void* work)
{
    const size_t stride = (size_t)n / 8 + 1;
    targets* t = (targets*)work;
    int count[MARGINPASSES][2] = {};
    for (int s = 0; s <= n + 2 * (MARGINPASSES - 1); s++)
        for (int v = 0; v < MARGINPASSES; v++) {
            int r = s - 2 * v;
            if (r < 0 || r > n) continue;
            targets* pass = t + (size_t)v * 2 * stride;
            if (r < n) count[v][r & 1] = findtargets(J, flags, n, r, pass + (r & 1) * stride);
            if (r > 0) {
                int q = (r - 1) & 1;
                filltargets(J, flags, n, r - 1, pass + q * stride, count[v][q]);
            }
        }
}

// White pixels keep flag 0 and flagged pixels never turn white, so the
// order in which targets are looked at does not matter.
void addwhiteedges(image* J, const unsigned char* flags, int n, void* work)
{
    targets* t = (targets*)work;
    size_t stride = (size_t)n / 8 + 1;
    int count[2] = {};
    for (int r = 0; r <= n; r++) {
        if (r < n) count[r & 1] = findtargets(J, flags, n, r, t + (r & 1) * stride);
        if (r > 0) whitentargets(J, n, r - 1, t + ((r - 1) & 1) * stride, count[(r - 1) & 1]);
    }
}

// Rows are swapped a piece at a time through a small buffer, with block
// copies.
void invertmap(image* J, int n)
{
    unsigned char pw[4096];
    const size_t bytes = (size_t)n * sizeof(pal3);
    for (int i = 0, k = n - 1; i < k; i++, k--) {
        unsigned char* a = (unsigned char*)J->Row(i);
        unsigned char* b = (unsigned char*)J->Row(k);
        for (size_t at = 0; at < bytes; at += sizeof pw) {
            size_t m = std::min(sizeof pw, bytes - at);
            std::memcpy(pw, a + at, m);
            std::memcpy(a + at, b + at, m);
            std::memcpy(b + at, pw, m);
        }
    }
}
