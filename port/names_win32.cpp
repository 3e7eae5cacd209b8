// File names on Windows: UTF-8 to UTF-16 and back, the names its devices
// keep, and its case folding.
#include "port/wide_win32.h"

#include <windows.h>

#include <cerrno>

#include "port/wide.h"

namespace {
// The letters of bytes 128-255 in the system's 8-bit code page.
struct codepagetable {
    char16_t high[128];
    codepagetable()
    {
        for (int b = 128; b < 256; b++) {
            char c = (char)b;
            wchar_t w = 0;
            high[b - 128] = MultiByteToWideChar(CP_ACP, 0, &c, 1, &w, 1) == 1 ? (char16_t)w : (char16_t)b;
        }
    }
};

// Read once, by whichever thread comes first (the readers open files on
// threads of their own).
const char16_t* codepage()
{
    static const codepagetable t;
    return t.high;
}
}  // namespace

bool widen(const char* s, wchar_t* out, int cap)
{
    if (toutf16(s, (char16_t*)out, cap, codepage()) >= 0) return true;
    errno = ENAMETOOLONG;
    return false;
}

bool narrow(const wchar_t* s, char* out, int cap)
{
    if (toutf8((const char16_t*)s, -1, out, cap) >= 0) return true;
    // As much as fits, whole characters only.
    int n = 0;
    while (s[n]) n++;
    while (n > 0 && toutf8((const char16_t*)s, n, out, cap) < 0) n--;
    if (n == 0 && cap > 0) out[0] = 0;
    return false;
}

bool reservedname(const char* name) { return windowsdevice(name); }

// Upper case as the file system has it: LCMapStringEx uses the file
// system's rules unless asked for linguistic ones.
void foldname(const char* name, char* key, int size)
{
    if (size <= 0) return;
    key[0] = 0;
    wchar_t w[PATHSIZE], up[PATHSIZE];
    if (!widen(name, w, PATHSIZE)) return;
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, w, -1, up, PATHSIZE, nullptr, nullptr, 0);
    narrow(n > 0 ? up : w, key, size);
}
