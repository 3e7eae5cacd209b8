// Files on POSIX systems: names are bytes, links are followed by hand (as
// the kernel would in a shared folder) so that a map replaces the file a
// link leads to, and a map is written into an unnamed file where the system
// has them, so that nothing is left when the run dies.
#include "port/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "port/names.h"
#include "port/signals.h"
#include "port/tuning.h"

namespace {
char* copyof(const char* s)
{
    size_t n = std::strlen(s) + 1;
    char* c = (char*)std::malloc(n);
    if (c) std::memcpy(c, s, n);
    return c;
}

// Bytes of p before its last component: "dir/" of "dir/name", 0 for "name".
size_t folderpart(const char* p)
{
    const char* slash = std::strrchr(p, '/');
    return slash ? (size_t)(slash - p) + 1 : 0;
}

// The folder of p as a name of its own (from malloc), or null.
char* folderof(const char* p)
{
    size_t n = folderpart(p);
    if (n == 0) return copyof(".");
    char* d = (char*)std::malloc(n + 1);
    if (!d) return nullptr;
    std::memcpy(d, p, n);
    d[n] = 0;
    return d;
}

// The name a link at p leads to: absolute as read, else beside p.
char* follow(const char* p, const char* link)
{
    size_t dir = link[0] == '/' ? 0 : folderpart(p);
    size_t n = std::strlen(link);
    char* q = (char*)std::malloc(dir + n + 1);
    if (!q) return nullptr;
    std::memcpy(q, p, dir);
    std::memcpy(q + dir, link, n + 1);
    return q;
}

// Whether the link at p (its lstat in st) may be followed. The kernel's
// rule for links in sticky world-writable folders such as /tmp: only the
// runner's own links and those of the folder's owner. Another user could
// otherwise lead a map onto any file the runner may write.
bool trusted(const char* p, const struct stat& st)
{
    if (st.st_uid == geteuid()) return true;
    char* dir = folderof(p);
    struct stat d;
    bool ok = dir && stat(dir, &d) == 0;
    std::free(dir);
    if (!ok) return false;
    const bool shared = (d.st_mode & S_ISVTX) && (d.st_mode & S_IWOTH);
    return !shared || st.st_uid == d.st_uid;
}

// A fresh name for a temporary file beside path, in t (room: tempsize):
// hidden, and ".uvpaint-" where there is room to say whose it is.
void tempname(char* t, const char* path)
{
    static unsigned long long state = 0;  // seeded once, so that names differ within a run
    if (!state) {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        state = ((uint64_t)now.tv_sec * 1000000007u) ^ (uint64_t)now.tv_nsec ^ ((uint64_t)getpid() << 32) ^ (uintptr_t)t;
    }
    static const char ALNUM[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    writetempname(t, path, folderpart(path), ".uvpaint-", ALNUM, &state);
}

// Room for the temporary names of path.
size_t tempsize(const char* path) { return folderpart(path) + TEMPNAMEROOM; }

enum { TEMPTRIES = 100 };  // fresh names to try; a clash is rare, leftovers too

#ifdef O_TMPFILE
// An unnamed file in the folder of path, or -1 when the system or the file
// system has none, or it could not be named later through /proc.
int unnamed(const char* path)
{
    char* dir = folderof(path);
    int fd = dir ? open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666) : -1;
    std::free(dir);
    if (fd < 0) return -1;
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    struct stat a, b;
    if (fstat(fd, &a) != 0 || stat(proc, &b) != 0 || a.st_ino != b.st_ino || a.st_dev != b.st_dev) {
        close(fd);
        return -1;
    }
    return fd;
}
#endif
}  // namespace

FILE* openread(const char* name)
{
    // A folder opens for reading here and fails only at the first read.
    struct stat st;
    if (stat(name, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    return std::fopen(name, "rb");
}

bool exists(const char* name)
{
    struct stat st;
    return stat(name, &st) == 0;
}

FILE* openinplace(const char* f) { return std::fopen(f, "wb"); }

int removefile(const char* name)
{
    pendingtemp(nullptr);
    return unlink(name) == 0;
}

int examinetarget(const char* f, char** path)
{
    *path = nullptr;
    char* p = copyof(f);
    // The last link leads to a device or pipe by a name that no walk finds:
    // /dev/stdout ends in /proc/self/fd/1, a link to "pipe:[...]".
    bool special = false;
    // Renaming over a link would put a plain file in its place and leave the
    // file it leads to stale; the map replaces that file instead.
    for (int hops = 0; p; hops++) {
        struct stat st;
        if (lstat(p, &st) != 0) {
            if (errno != ENOENT) break;
            if (special) {
                std::free(p);
                return TARGET_INPLACE;
            }
            *path = p;
            return TARGET_NONE;
        }
        if (S_ISLNK(st.st_mode)) {
            if (!trusted(p, st)) {
                std::free(p);
                errno = EACCES;
                return TARGET_UNTRUSTED;
            }
            if (hops == 40) {
                errno = ELOOP;
                break;
            }
            struct stat end;
            special = stat(p, &end) == 0 && !S_ISREG(end.st_mode) && !S_ISDIR(end.st_mode);
            // Some file systems give links no size; a full buffer means the
            // link was cut short.
            const size_t room = (st.st_size > 4096 ? (size_t)st.st_size : 4096) + 1;
            char* link = (char*)std::malloc(room);
            ssize_t n = link ? readlink(p, link, room) : -1;
            if (n < 0 || (size_t)n >= room) {
                if (n >= 0) errno = ENAMETOOLONG;
                std::free(link);
                break;
            }
            link[n] = 0;
            char* q = follow(p, link);
            std::free(link);
            std::free(p);
            p = q;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            break;
        }
        if (!S_ISREG(st.st_mode)) {  // a device or pipe
            std::free(p);
            return TARGET_INPLACE;
        }
        // A rename would replace a file the user may not write (mode,
        // read-only mount, immutable flag): only a writable one is replaced.
        if (faccessat(AT_FDCWD, p, W_OK, AT_EACCESS) != 0) break;
        *path = p;
        return TARGET_FILE;
    }
    const int err = errno;  // why it was refused, for the message
    std::free(p);
    errno = err;
    return TARGET_REFUSED;
}

FILE* opentemp(const char* path, char** temp)
{
    *temp = nullptr;
    struct stat old;
    bool replacing = stat(path, &old) == 0;
    int fd = -1;
    char* t = nullptr;
#ifdef O_TMPFILE
    if (!knobs.write_namedtemp) fd = unnamed(path);
#endif
    if (fd < 0) {
        t = (char*)std::malloc(tempsize(path));
        if (!t) return nullptr;
        for (int k = 0; k < TEMPTRIES && fd < 0; k++) {
            tempname(t, path);
            // O_EXCL: never write into a file that someone else put there.
            fd = open(t, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            std::free(t);
            return nullptr;
        }
        pendingtemp(t);
    }
    bool ok = true;
    if (replacing) {
        // Root gives the file its owner and group back. Anyone else makes it
        // theirs, as any new file would be, but keeps the group when they
        // belong to it, as an editor's save does; the group may share it.
        if (old.st_uid != geteuid() || old.st_gid != getegid()) {
            if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, (uid_t)-1, old.st_gid) != 0) {
            }
        }
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    }
    FILE* o = ok ? fdopen(fd, "wb") : nullptr;
    if (!o) {
        const int err = errno;
        close(fd);
        if (t) removefile(t);
        std::free(t);
        errno = err;
        return nullptr;
    }
    *temp = t;
    return o;
}

int nametemp(FILE* f, const char* to, bool replace)
{
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fileno(f));
    // A link never replaces: a new map takes its name in one step that
    // fails when the name was taken meanwhile.
    if (!replace) return linkat(AT_FDCWD, proc, AT_FDCWD, to, AT_SYMLINK_FOLLOW) == 0;
    char* t = (char*)std::malloc(tempsize(to));
    if (!t) return 0;
    int done = 0;
    for (int k = 0; k < TEMPTRIES && !done; k++) {
        tempname(t, to);
        if (linkat(AT_FDCWD, proc, AT_FDCWD, t, AT_SYMLINK_FOLLOW) == 0) done = 1;
        else if (errno != EEXIST) break;
    }
    if (done) {
        // A name of its own beside to, which then replaces to in one step.
        pendingtemp(t);
        done = replacefile(t, to);
        if (!done) {
            const int err = errno;
            removefile(t);
            errno = err;
        }
    }
    std::free(t);
    return done;
}

int syncfile(FILE* o)
{
    if (std::fflush(o) != 0) return 0;
    // Some file systems cannot sync; their bytes are as safe as they get.
    return fsync(fileno(o)) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// rename replaces an existing target in one step.
int replacefile(const char* from, const char* to)
{
    if (std::rename(from, to) != 0) return 0;
    pendingtemp(nullptr);
    return 1;
}

int placefile(const char* from, const char* to)
{
#ifdef RENAME_NOREPLACE
    if (!knobs.write_linkplace) {
        if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
            pendingtemp(nullptr);
            return 1;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return 0;
    }
#endif
    // A file system without it: a link, too, fails when to exists.
    if (link(from, to) == 0) {
        removefile(from);
        return 1;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return 0;
    // Nor links (FAT): the best left is to look first.
    struct stat st;
    if (lstat(to, &st) == 0) {
        errno = EEXIST;
        return 0;
    }
    return replacefile(from, to);
}
