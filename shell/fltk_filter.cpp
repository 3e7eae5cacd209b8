// A Win32 file-dialog filter list as FLTK's filter string.
#include "shell/fltk_filter.h"

#include <cstring>

namespace {
// One Win32 pattern ("*.OBJ") as an FLTK pattern that ignores case.
std::string anycase(const char* p, size_t len)
{
    if (len == 3 && std::strncmp(p, "*.*", 3) == 0) return "*";
    std::string s;
    for (size_t i = 0; i < len; i++) {
        char c = p[i], lo = c, up = c;
        if (c >= 'A' && c <= 'Z') lo = char(c + 32);
        if (c >= 'a' && c <= 'z') up = char(c - 32);
        if (lo != up) {
            s += '[';
            s += lo;
            s += up;
            s += ']';
        } else if (c != '\t' && c != '\n') {  // FLTK's separators
            s += c;
        }
    }
    return s;
}

// A pattern list "a;b" as "{a,b}"; a single pattern as it is.
std::string patterns(const char* p)
{
    std::string alts;
    int n = 0;
    for (;;) {
        const char* end = std::strchr(p, ';');
        size_t len = end ? size_t(end - p) : std::strlen(p);
        while (len && *p == ' ') p++, len--;
        if (len) {
            if (n++) alts += ',';
            alts += anycase(p, len);
        }
        if (!end) break;
        p = end + 1;
    }
    return n > 1 ? "{" + alts + "}" : alts;
}
}

std::string fltkfilter(const char* f)
{
    std::string out;
    if (!f) return out;
    while (*f) {
        const char* name = f;
        const char* pat = name + std::strlen(name) + 1;
        if (!*pat) break;  // a description without pattern ends the list
        if (!out.empty()) out += '\n';
        for (const char* c = name; *c; c++)
            if (*c != '\t' && *c != '\n') out += *c;
        out += '\t';
        out += patterns(pat);
        f = pat + std::strlen(pat) + 1;
    }
    return out;
}
