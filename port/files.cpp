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

// The step before the new file takes its name: where a file may come
// meanwhile (knobs.write_beforeplace) or the step fail.
bool placing(outfile* o)
{
    if (knobs.write_beforeplace) knobs.write_beforeplace(o->real);
    return fails(o);
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

int outopen(outfile* o, const char* name, failure* why, bool replace)
{
    *o = outfile{name, nullptr, TARGET_REFUSED, nullptr, nullptr, false, 0, 0, replace};
    if (knobs.write_beforeopen) knobs.write_beforeopen(name);
    o->kind = examinetarget(name, &o->real);
    if (o->kind == TARGET_UNTRUSTED) {
        knobs.writefailstep = 0;
        return fail(why, "I won't follow this link: another user made it in a shared folder", name, name);
    }
    // Something came at the name since it was found free: it stays.
    if (!replace && (o->kind == TARGET_FILE || o->kind == TARGET_INPLACE)) {
        o->kind = TARGET_REFUSED;
        errno = EEXIST;
    }
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
    // Pending bytes go out first, where a full disk shows. Replacing a map,
    // they must be on the disk before the old map goes; a new map has
    // nothing to lose and skips the wait.
    if (!o->failed && std::fflush(o->f) != 0) failed(o);
    if (!o->failed && o->kind == TARGET_FILE && !syncfile(o->f)) failed(o);
    if (fails(o)) failed(o);
    // Only the file found at the name at outopen may go.
    const bool replace = o->replace && o->kind == TARGET_FILE;
    if (o->kind == TARGET_INPLACE) {
        if (std::fclose(o->f) != 0) failed(o);
    } else if (!o->temp) {
        // An unnamed file takes its name while it is open; failing that,
        // it goes with its descriptor.
        if (!o->failed && (placing(o) || !nametemp(o->f, o->real, replace))) failed(o);
        if (std::fclose(o->f) != 0) failed(o);
    } else {
        if (std::fclose(o->f) != 0) failed(o);
        if (!o->failed && (placing(o) || !(replace ? replacefile : placefile)(o->temp, o->real))) failed(o);
        if (o->failed) removefile(o->temp);
    }
    const bool ok = !o->failed;
    const int err = o->err;
    std::free(o->temp);
    std::free(o->real);
    o->f = nullptr;
    o->temp = o->real = nullptr;
    knobs.writefailstep = 0;
    return ok ? 1 : fail(why, "I can't write this file", o->name, o->name, err);
}
