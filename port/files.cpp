// The map writer every format shares: the bytes go to a temporary file
// beside the target, which takes its place only when every byte is out.
#include "port/files.h"

#include <cerrno>
#include <cstdlib>

#include "port/tuning.h"

namespace {
// Counts the steps of a write for knobs.writefailstep; the step that fails
// fails as a full disk would.
bool fails(outfile* o)
{
    if (++o->step != knobs.writefailstep) return false;
    errno = ENOSPC;
    return true;
}

// Keeps the reason of the first failure.
void failed(outfile* o)
{
    if (!o->failed) o->err = errno;
    o->failed = true;
}
}  // namespace

bool diskfull(int err)
{
#ifdef EDQUOT
    if (err == EDQUOT) return true;
#endif
    return err == ENOSPC;
}

int outopen(outfile* o, const char* name, failure* why)
{
    *o = outfile{name, nullptr, TARGET_REFUSED, nullptr, nullptr, false, 0, 0};
    o->kind = examinetarget(name, &o->real);
    // A device or pipe takes the bytes as they come: there is no file to
    // keep, and renaming over the node would destroy it.
    if (o->kind == TARGET_INPLACE) o->f = openinplace(name);
    else if (o->kind != TARGET_REFUSED) o->f = opentemp(o->real, &o->temp);
    if (o->f) return 1;
    const int err = errno;
    std::free(o->real);
    o->real = nullptr;
    knobs.writefailstep = 0;
    return fail(why, "I can't open this file", name, name, err);
}

int outwrite(outfile* o, const void* p, size_t n)
{
    const unsigned char* b = (const unsigned char*)p;
    const size_t chunk = knobs.writechunk ? knobs.writechunk : 1;
    while (n > 0 && !o->failed) {
        size_t k = n < chunk ? n : chunk;
        if (fails(o) || std::fwrite(b, 1, k, o->f) != k) failed(o);
        b += k;
        n -= k;
    }
    return !o->failed;
}

int outclose(outfile* o, failure* why)
{
    // Replacing a map, the new bytes must be on the disk before the old map
    // goes. A new map has nothing to lose and skips the wait (fclose still
    // flushes, where a full disk shows).
    if (!o->failed && o->kind == TARGET_FILE && !syncfile(o->f)) failed(o);
    if (std::fclose(o->f) != 0) failed(o);
    if (fails(o)) failed(o);
    if (o->temp && !o->failed && (fails(o) || !replacefile(o->temp, o->real))) failed(o);
    if (o->temp && o->failed) removefile(o->temp);
    const bool ok = !o->failed;
    const int err = o->err;
    std::free(o->temp);
    std::free(o->real);
    o->f = nullptr;
    o->temp = o->real = nullptr;
    knobs.writefailstep = 0;
    return ok ? 1 : fail(why, "I can't write this file", o->name, o->name, err);
}
