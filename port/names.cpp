// The names Windows keeps for its devices, and the names of temporary files.
#include "port/names.h"

bool windowsdevice(const char* name)
{
    // The last part of the path; a drive's colon ends a part too.
    const char* p = name;
    for (const char* s = name; *s; s++)
        if (*s == '/' || *s == '\\' || (*s == ':' && s == name + 1)) p = s + 1;
    // The device is the name up to its first dot (or stream), trailing
    // spaces dropped: "nul.bmp", "NUL .tar.bmp" and "nul:x" are all NUL.
    size_t n = std::strcspn(p, ".:");
    while (n > 0 && p[n - 1] == ' ') n--;
    char base[8];
    if (n < 3 || n > 7) return false;
    for (size_t i = 0; i < n; i++) base[i] = (char)(p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 32 : p[i]);
    base[n] = 0;
    static const char* const names[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* d : names)
        if (!std::strcmp(base, d)) return true;
    if (std::strncmp(base, "com", 3) && std::strncmp(base, "lpt", 3)) return false;
    // com0-com9 and lpt0-lpt9, and with a superscript 1, 2 or 3 (UTF-8).
    if (n == 4) return base[3] >= '0' && base[3] <= '9';
    return n == 5 && (unsigned char)base[3] == 0xC2 &&
           ((unsigned char)base[4] == 0xB9 || (unsigned char)base[4] == 0xB2 || (unsigned char)base[4] == 0xB3);
}

void writetempname(char* t, const char* path, size_t dir, const char* prefix, const char* alphabet,
                   unsigned long long* state)
{
    const size_t most = TEMPNAMEROOM - 1, letters = std::strlen(alphabet);
    size_t len = std::strlen(path + dir);
    len = len < 5 ? 5 : len > most ? most : len;
    std::memcpy(t, path, dir);
    char* p = t + dir;
    size_t k = len == most ? 9 : 1;
    std::memcpy(p, prefix, k);
    for (; k < len; k++) {
        *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;  // the names need only differ
        p[k] = alphabet[(*state >> 33) % letters];
    }
    p[len] = 0;
}
