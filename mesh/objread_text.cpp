// An .OBJ file, or a byte range of it, read in large blocks and handed out
// as runs of whole lines.
#include "mesh/objread_text.h"
#include "shell/prompts.h"

#include <cstdlib>
#include <filesystem>

namespace {
const size_t BLOCK = 1 << 20;  // bytes per read
const size_t PAD = 8;          // word reads pass the end of the text
}  // namespace

int opentext(objtext* x, const char* file, long start, unsigned long long len, bool warnmissing)
{
    x->buf = nullptr;
    x->cap = x->len = x->used = 0;
    x->left = len;
    x->eof = x->err = x->shortread = false;
    x->bounded = len != ULLONG_MAX;
    x->f = nullptr;
    // A folder opens for reading on some systems and fails at the first read.
    std::error_code ec;
    if (!std::filesystem::is_directory(file, ec)) x->f = std::fopen(file, "rb");
    if (!x->f) return warnmissing ? warn(nullptr, file, "I can't open this file") : 0;
    if (start > 0 && std::fseek(x->f, start, SEEK_SET) != 0) {
        x->err = true;
        return 0;
    }
    if (start == 0) {  // a UTF-8 byte-order mark is no part of the first line
        unsigned char bom[3];
        size_t n = std::fread(bom, 1, x->left < 3 ? (size_t)x->left : 3, x->f);
        if (n == 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF) {
            if (x->bounded) x->left -= 3;
        } else if (std::fseek(x->f, 0, SEEK_SET) != 0) {
            x->err = true;
            return 0;
        }
    }
    return 1;
}

void closetext(objtext* x)
{
    if (x->f) std::fclose(x->f);
    x->f = nullptr;
    std::free(x->buf);
    x->buf = nullptr;
}

// A line longer than the buffer makes it grow.
int nextlines(objtext* x, char** b, char** e)
{
    size_t tail = x->len - x->used;  // the start of a line not yet complete
    if (tail) std::memmove(x->buf, x->buf + x->used, tail);
    x->len = tail;
    x->used = 0;
    size_t scanned = 0;  // bytes known to hold no line break
    for (;;) {
        if (!x->eof) {
            if (x->len == x->cap) {
                size_t cap = x->cap ? x->cap * 2 : x->left < BLOCK ? (size_t)x->left + 64 : BLOCK;
                char* nb = cap > x->cap ? (char*)std::realloc(x->buf, cap + 1 + PAD) : nullptr;
                if (!nb) {
                    x->err = true;
                    return 0;
                }
                x->buf = nb;
                x->cap = cap;
            }
            size_t want = x->cap - x->len;
            if (want > x->left) want = (size_t)x->left;
            size_t n = want ? std::fread(x->buf + x->len, 1, want, x->f) : 0;
            x->len += n;
            x->left -= n;
            std::memset(x->buf + x->len, 0, 1 + PAD);  // word reads past the text see no garbage
            if (n < want) {
                if (std::ferror(x->f)) {
                    x->err = true;
                    return 0;
                }
                x->eof = true;
                x->shortread = x->bounded;
            } else if (x->left == 0) {
                x->eof = true;
            }
        }
        char* q = x->buf + x->len;
        char* stop = x->buf + scanned;
        while (q > stop && !isbreak(q[-1])) q--;
        if (q > stop) {
            *b = x->buf;
            *e = q;
            x->used = (size_t)(q - x->buf);
            return 1;
        }
        scanned = x->len;
        if (x->eof) {
            if (x->len == 0) return 0;
            x->buf[x->len] = '\n';
            *b = x->buf;
            *e = x->buf + x->len + 1;
            x->used = x->len;
            return 1;
        }
    }
}
