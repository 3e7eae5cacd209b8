// Files on Windows.
#include "port/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

FILE* openread(const char* name)
{
    DWORD a = GetFileAttributesA(name);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return nullptr;
    }
    return std::fopen(name, "rb");
}

bool exists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

FILE* openinplace(const char* f) { return std::fopen(f, "wb"); }

int removefile(const char* name) { return DeleteFileA(name) != 0; }

int examinetarget(const char* f, char** path)
{
    *path = nullptr;
    DWORD a = GetFileAttributesA(f);
    // A read-only file is refused whoever runs the program.
    if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        errno = a & FILE_ATTRIBUTE_DIRECTORY ? EISDIR : EACCES;
        return TARGET_REFUSED;
    }
    // Opening for writing, without truncating, tells a device (NUL, COM1,
    // LPT1 ...) from a file, and refuses a read-only or locked file that a
    // replace would otherwise get past.
    HANDLE h = CreateFileA(f, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    int kind = TARGET_FILE;
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) {
            errno = EACCES;
            return TARGET_REFUSED;
        }
        kind = TARGET_NONE;
    } else {
        DWORD type = GetFileType(h);
        CloseHandle(h);
        if (type != FILE_TYPE_DISK) return TARGET_INPLACE;
    }
    size_t n = std::strlen(f) + 1;
    *path = (char*)std::malloc(n);
    if (!*path) return TARGET_REFUSED;
    std::memcpy(*path, f, n);
    return kind;
}

FILE* opentemp(const char* path, char** temp)
{
    *temp = nullptr;
    size_t n = std::strlen(path) + 16;
    char* t = (char*)std::malloc(n);
    if (!t) return nullptr;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int k = 0; k < 1000 && h == INVALID_HANDLE_VALUE; k++) {
        if (k == 0) std::snprintf(t, n, "%s.tmp", path);
        else std::snprintf(t, n, "%s.tmp%d", path, k);
        // CREATE_NEW: never write into a file that someone else put there.
        h = CreateFileA(t, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        std::free(t);
        return nullptr;
    }
    int fd = _open_osfhandle((intptr_t)h, _O_BINARY);
    FILE* o = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (!o) {
        if (fd >= 0) _close(fd);
        else CloseHandle(h);
        DeleteFileA(t);
        std::free(t);
        return nullptr;
    }
    *temp = t;
    return o;
}

int syncfile(FILE* o)
{
    if (std::fflush(o) != 0) return 0;
    return FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(o))) != 0;
}

// rename() will not replace an existing file on Windows; MoveFileEx will.
int replacefile(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails when to exists.
int placefile(const char* from, const char* to)
{
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return 1;
    DWORD e = GetLastError();
    errno = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return 0;
}

// opentemp's files here always have a name.
int nametemp(FILE*, const char*, bool) { return 0; }
