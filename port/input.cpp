// Reading files as they come, and inflating those that begin with the gzip
// mark: zlib on a thread of its own fills one block while the reader takes
// the other.
#include "port/input.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "port/files.h"

namespace {
const size_t OUTBLOCK = 1 << 20;  // inflated bytes per block
const size_t INBLOCK = 1 << 18;   // compressed bytes per read

struct block {
    unsigned char* data;  // OUTBLOCK bytes
    size_t len;           // bytes inflated into it
    bool full;            // inflated and not yet handed out: the reader's
    bool last;            // nothing follows it
    infault fault;        // with last: why nothing follows
    int err;
};
}  // namespace

struct inflater {
    z_stream z;
    FILE* f;
    unsigned char* in;    // compressed bytes, INBLOCK
    bool inend;           // the file is read to its end
    bool member;          // inside a gzip member
    bool zeros;           // zero bytes followed the last member
    block b[2];
    int cur;              // the reader's block
    bool have;            // the reader holds b[cur]
    size_t at;            // bytes of b[cur] handed out
    std::mutex mu;        // guards full and stop
    std::condition_variable cv;
    std::thread t;
    bool threaded;        // t runs; else the reader inflates each block itself
    bool stop;            // the reader is done: t ends
};

namespace {

void finish(block* b, infault fault, int err)
{
    b->last = true;
    b->fault = fault;
    b->err = err;
}

// Inflates into b until it is full, the data ends or a fault stops it.
// Members follow one another as zcat reads them; zero bytes may pad the
// end, anything else after the last member makes the file corrupt.
void fill(inflater* x, block* b)
{
    z_stream& z = x->z;
    z.next_out = b->data;
    z.avail_out = (uInt)OUTBLOCK;
    while (z.avail_out > 0) {
        if (z.avail_in == 0 && !x->inend) {
            size_t n = std::fread(x->in, 1, INBLOCK, x->f);
            if (n < INBLOCK) {
                if (std::ferror(x->f)) {
                    finish(b, IN_READERROR, errno);
                    break;
                }
                x->inend = true;
            }
            z.next_in = x->in;
            z.avail_in = (uInt)n;
        }
        if (!x->member) {
            while (z.avail_in > 0 && *z.next_in == 0) {
                z.next_in++;
                z.avail_in--;
                x->zeros = true;
            }
            if (z.avail_in == 0) {
                if (!x->inend) continue;
                finish(b, IN_FINE, 0);
                break;
            }
            if (x->zeros) {
                finish(b, IN_CORRUPT, 0);
                break;
            }
            inflateReset(&z);
            x->member = true;
        }
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            x->member = false;
        } else if (r == Z_BUF_ERROR && z.avail_in == 0 && x->inend) {
            finish(b, IN_CUTSHORT, 0);
            break;
        } else if (r != Z_OK && r != Z_BUF_ERROR) {
            finish(b, r == Z_MEM_ERROR ? IN_NOMEMORY : IN_CORRUPT, 0);
            break;
        }
    }
    b->len = OUTBLOCK - z.avail_out;
}

void work(inflater* x)
{
    for (int k = 0;; k ^= 1) {
        block& b = x->b[k];
        {
            std::unique_lock<std::mutex> l(x->mu);
            x->cv.wait(l, [&] { return !b.full || x->stop; });
            if (x->stop) return;
        }
        fill(x, &b);
        const bool last = b.last;
        {
            std::lock_guard<std::mutex> l(x->mu);
            b.full = true;
        }
        x->cv.notify_all();
        if (last) return;
    }
}

void release(inflater* x)
{
    if (!x) return;
    if (x->threaded) {
        {
            std::lock_guard<std::mutex> l(x->mu);
            x->stop = true;
        }
        x->cv.notify_all();
        x->t.join();
    }
    inflateEnd(&x->z);
    std::free(x->in);
    std::free(x->b[0].data);
    std::free(x->b[1].data);
    delete x;
}

// The inflating of in, whose two bytes of mark are in in->head; null
// without memory.
inflater* startinflating(input* in)
{
    inflater* x = new (std::nothrow) inflater();
    if (!x) return nullptr;
    x->f = in->f;
    x->in = (unsigned char*)std::malloc(INBLOCK);
    x->b[0].data = (unsigned char*)std::malloc(OUTBLOCK);
    x->b[1].data = (unsigned char*)std::malloc(OUTBLOCK);
    std::memset(&x->z, 0, sizeof x->z);
    if (!x->in || !x->b[0].data || !x->b[1].data || inflateInit2(&x->z, 16 + MAX_WBITS) != Z_OK) {
        std::free(x->in);
        std::free(x->b[0].data);
        std::free(x->b[1].data);
        delete x;
        return nullptr;
    }
    std::memcpy(x->in, in->head, 2);
    x->z.next_in = x->in;
    x->z.avail_in = 2;
    x->member = true;
    try {
        x->t = std::thread(work, x);
        x->threaded = true;
    } catch (const std::system_error&) {
    }
    return x;
}

bool regularfile(FILE* f)
{
    struct stat st;
    return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool isstdin(const char* name) { return name[0] == '-' && name[1] == 0; }

bool isstream(const char* name)
{
    if (isstdin(name)) return true;
    struct stat st;
    return stat(name, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

int inopen(input* in, const char* name, failure* why)
{
    *in = input();
    in->name = name;
    if (isstdin(name)) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        in->f = stdin;
    } else {
        in->f = openread(name);
        if (!in->f) return fail(why, name, "I can't open this file", name, errno);
        in->regular = regularfile(in->f);
    }
    while (in->nhead < 2) {
        size_t n = std::fread(in->head + in->nhead, 1, (size_t)(2 - in->nhead), in->f);
        if (n == 0) break;
        in->nhead += (int)n;
    }
    if (std::ferror(in->f)) {
        const int err = errno;
        inclose(in);
        return fail(why, name, "I can't read this file", name, err);
    }
    if (in->nhead == 2 && in->head[0] == 0x1F && in->head[1] == 0x8B) {
        in->compressed = true;
        in->usedhead = 2;
        in->z = startinflating(in);
        if (!in->z) {
            inclose(in);
            return fail(why, "out of memory", "", nullptr, ENOMEM);
        }
    }
    return 1;
}

size_t inread(input* in, void* p, size_t n)
{
    unsigned char* o = (unsigned char*)p;
    size_t got = 0;
    while (got < n && in->usedhead < in->nhead) o[got++] = in->head[in->usedhead++];
    if (in->ended || got == n) return got;
    inflater* x = in->z;
    if (!x) {
        const size_t k = std::fread(o + got, 1, n - got, in->f);
        if (k < n - got) {
            in->ended = true;
            if (std::ferror(in->f)) {
                in->fault = IN_READERROR;
                in->err = errno;
            }
        }
        return got + k;
    }
    while (got < n) {
        block& b = x->b[x->cur];
        if (!x->have) {
            if (x->threaded) {
                std::unique_lock<std::mutex> l(x->mu);
                x->cv.wait(l, [&] { return b.full; });
            } else {
                fill(x, &b);
            }
            x->have = true;
            x->at = 0;
        }
        const size_t k = n - got < b.len - x->at ? n - got : b.len - x->at;
        std::memcpy(o + got, b.data + x->at, k);
        x->at += k;
        got += k;
        if (x->at < b.len) continue;
        if (b.last) {
            in->ended = true;
            in->fault = b.fault;
            in->err = b.err;
            break;
        }
        {
            std::lock_guard<std::mutex> l(x->mu);
            b.full = false;
        }
        x->cv.notify_all();
        x->have = false;
        x->cur ^= 1;
    }
    return got;
}

int infailure(const input* in, failure* why)
{
    switch (in->fault) {
    case IN_FINE: return 0;
    case IN_READERROR: return fail(why, in->name, "I can't read this file", in->name, in->err);
    case IN_CUTSHORT:
        return fail(why, in->name, "this file is damaged: its compressed data ends too soon", in->name);
    case IN_CORRUPT:
        return fail(why, in->name, "this file is damaged: its compressed data is corrupt", in->name);
    case IN_NOMEMORY: break;
    }
    return fail(why, "out of memory", "", nullptr, ENOMEM);
}

void inclose(input* in)
{
    release(in->z);
    in->z = nullptr;
    if (in->f && in->f != stdin) std::fclose(in->f);
    in->f = nullptr;
}

int besidefile(char* out, size_t room, const char* file, const char* name)
{
#ifdef _WIN32
    // C:name is on drive C, whatever follows the colon
    auto slash = [](const char* s, size_t i) { return s[i] == '/' || s[i] == '\\' || (i == 1 && s[1] == ':'); };
    const bool absolute = name[0] == '/' || name[0] == '\\' || (name[0] && name[1] == ':');
#else
    auto slash = [](const char* s, size_t i) { return s[i] == '/'; };
    const bool absolute = slash(name, 0);
#endif
    size_t dir = 0;  // file's folder, its last slash included
    if (!absolute)
        for (size_t i = 0; file[i]; i++)
            if (slash(file, i)) dir = i + 1;
    const size_t n = std::strlen(name);
    if (dir + n + 1 > room) return 0;
    std::memcpy(out, file, dir);
    std::memcpy(out + dir, name, n + 1);
    return 1;
}
