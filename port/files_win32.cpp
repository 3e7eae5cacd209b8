// Files on Windows. Names come in UTF-8 and go to the wide (W) functions.
#include "port/files.h"
#include "port/names.h"
#include "port/signals.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/wide_win32.h"

namespace {
// A name as the W functions take it; the program's names fit in PATHSIZE
// bytes, so in as many UTF-16 units.
struct wname {
    wchar_t w[PATHSIZE];
    bool ok;
    explicit wname(const char* utf8) : ok(widen(utf8, w, PATHSIZE)) {}
};
}  // namespace

FILE* openread(const char* name)
{
    wname n(name);
    if (!n.ok) return nullptr;
    DWORD a = GetFileAttributesW(n.w);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return nullptr;
    }
    return _wfopen(n.w, L"rb");
}

bool exists(const char* name)
{
    wname n(name);
    return n.ok && GetFileAttributesW(n.w) != INVALID_FILE_ATTRIBUTES;
}

FILE* openinplace(const char* f)
{
    wname n(f);
    return n.ok ? _wfopen(n.w, L"wb") : nullptr;
}

int removefile(const char* name)
{
    pendingtemp(nullptr);
    wname n(name);
    return n.ok && DeleteFileW(n.w) != 0;
}

int examinetarget(const char* f, char** path)
{
    *path = nullptr;
    // A device's name opens the device (NUL takes every byte and keeps
    // none) in any folder: no map can be written under it.
    if (reservedname(f)) {
        errno = EINVAL;
        return TARGET_REFUSED;
    }
    wname w(f);
    if (!w.ok) return TARGET_REFUSED;
    DWORD a = GetFileAttributesW(w.w);
    // A read-only file is refused whoever runs the program.
    if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        errno = a & FILE_ATTRIBUTE_DIRECTORY ? EISDIR : EACCES;
        return TARGET_REFUSED;
    }
    // Opening for writing, without truncating, tells a pipe or a device
    // by another name (\\.\COM1) from a file, and refuses a read-only or
    // locked file that a replace would otherwise get past.
    HANDLE h = CreateFileW(w.w, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
        if (type != FILE_TYPE_DISK) return TARGET_INPLACE;  // a pipe
    }
    size_t n = std::strlen(f) + 1;
    *path = (char*)std::malloc(n);
    if (!*path) return TARGET_REFUSED;
    std::memcpy(*path, f, n);
    return kind;
}

namespace {
// The folder part of p, up to and with its last slash or backslash.
size_t folderpart(const char* p)
{
    size_t n = 0;
    for (size_t i = 0; p[i]; i++)
        if (p[i] == '/' || p[i] == '\\' || (i == 1 && p[i] == ':')) n = i + 1;
    return n;
}

// Room for the temporary names of path, and how many fresh ones to try.
size_t tempsize(const char* path) { return folderpart(path) + TEMPNAMEROOM; }
enum { TEMPTRIES = 100 };

// A fresh name beside path, in t (room: tempsize): "~uvpaint-" and letters
// of one case, as Windows names ignore it.
void tempname(char* t, const char* path)
{
    static unsigned long long state = 0;
    if (!state) state = GetTickCount64() * 1000000007ull ^ ((unsigned long long)GetCurrentProcessId() << 32) ^ (uintptr_t)t;
    writetempname(t, path, folderpart(path), "~uvpaint-", "abcdefghijklmnopqrstuvwxyz0123456789", &state);
}
}  // namespace

FILE* opentemp(const char* path, char** temp)
{
    *temp = nullptr;
    const size_t n = tempsize(path);
    char* t = (char*)std::malloc(n);
    wchar_t* w = (wchar_t*)std::malloc(n * sizeof(wchar_t));
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int k = 0; t && w && k < TEMPTRIES && h == INVALID_HANDLE_VALUE; k++) {
        tempname(t, path);
        if (!widen(t, w, (int)n)) break;
        // CREATE_NEW: never write into a file that someone else put there.
        h = CreateFileW(w, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        std::free(w);
        std::free(t);
        return nullptr;
    }
    pendingtemp(t);
    int fd = _open_osfhandle((intptr_t)h, _O_BINARY);
    FILE* o = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (!o) {
        if (fd >= 0) _close(fd);
        else CloseHandle(h);
        DeleteFileW(w);
        pendingtemp(nullptr);
        std::free(w);
        std::free(t);
        return nullptr;
    }
    std::free(w);
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
    wname f(from), t(to);
    if (!f.ok || !t.ok || !MoveFileExW(f.w, t.w, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    pendingtemp(nullptr);
    return 1;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails when to exists.
int placefile(const char* from, const char* to)
{
    wname f(from), t(to);
    if (f.ok && t.ok && MoveFileExW(f.w, t.w, MOVEFILE_WRITE_THROUGH)) {
        pendingtemp(nullptr);
        return 1;
    }
    DWORD e = GetLastError();
    errno = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return 0;
}

// opentemp's files here always have a name.
int nametemp(FILE*, const char*, bool) { return 0; }
