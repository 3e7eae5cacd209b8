// Files on POSIX systems: names are bytes, links are followed by hand so
// that a map replaces the file a link leads to.
#include "port/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {
char* copyof(const char* s)
{
    size_t n = std::strlen(s) + 1;
    char* c = (char*)std::malloc(n);
    if (c) std::memcpy(c, s, n);
    return c;
}

// The name a link at p leads to: absolute as read, else beside p.
char* follow(const char* p, const char* link)
{
    const char* slash = std::strrchr(p, '/');
    size_t dir = link[0] == '/' || !slash ? 0 : (size_t)(slash - p) + 1;
    size_t n = std::strlen(link);
    char* q = (char*)std::malloc(dir + n + 1);
    if (!q) return nullptr;
    std::memcpy(q, p, dir);
    std::memcpy(q + dir, link, n + 1);
    return q;
}
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

int removefile(const char* name) { return unlink(name) == 0; }

int examinetarget(const char* f, char** path)
{
    *path = nullptr;
    // A device or pipe has no file to replace. Asked first through every
    // link at once: /dev/stdout leads to a pipe by a link that names none.
    struct stat end;
    if (stat(f, &end) == 0 && !S_ISREG(end.st_mode) && !S_ISDIR(end.st_mode)) return TARGET_INPLACE;
    char* p = copyof(f);
    // Renaming over a link would put a plain file in its place and leave the
    // file it leads to stale; the map replaces that file instead.
    for (int hops = 0; p; hops++) {
        struct stat st;
        if (lstat(p, &st) != 0) {
            if (errno != ENOENT) break;
            *path = p;
            return TARGET_NONE;
        }
        if (S_ISLNK(st.st_mode)) {
            if (hops == 40) {
                errno = ELOOP;
                break;
            }
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
        if (!S_ISREG(st.st_mode)) {  // turned into a device or pipe meanwhile
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
    size_t n = std::strlen(path) + 16;
    char* t = (char*)std::malloc(n);
    if (!t) return nullptr;
    int fd = -1;
    for (int k = 0; k < 1000 && fd < 0; k++) {
        if (k == 0) std::snprintf(t, n, "%s.tmp", path);
        else std::snprintf(t, n, "%s.tmp%d", path, k);
        // O_EXCL: never write into a file that someone else put there.
        fd = open(t, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        std::free(t);
        return nullptr;
    }
    bool ok = true;
    if (replacing) {
        // The owner may not be ours to give (not root): the file is then
        // ours, as any new file would be. The permission bits must hold.
        if ((old.st_uid != geteuid() || old.st_gid != getegid()) && fchown(fd, old.st_uid, old.st_gid) != 0) {
        }
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    }
    FILE* o = ok ? fdopen(fd, "wb") : nullptr;
    if (!o) {
        close(fd);
        unlink(t);
        std::free(t);
        return nullptr;
    }
    *temp = t;
    return o;
}

int syncfile(FILE* o)
{
    if (std::fflush(o) != 0) return 0;
    // Some file systems cannot sync; their bytes are as safe as they get.
    return fsync(fileno(o)) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// rename replaces an existing target in one step.
int replacefile(const char* from, const char* to) { return std::rename(from, to) == 0; }
