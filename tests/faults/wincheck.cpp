// The map writer on Windows (run under Wine): a folder, a read-only or locked
// file, a device's name and a failing write each leave the old file as it
// was and no temporary file behind.
//   wincheck.exe FOLDER   (an empty folder; exits 0 when every check held)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "port/tuning.h"
#include "raster/bmp.h"

namespace {
int failures = 0;
std::vector<std::string> boxes;  // "TEXT|TITLE" of each warning

// bmpwrite, keeping the failure it gives back as "TEXT|TITLE".
int bmpwrite(const char* f, const image& I)
{
    failure why;
    int r = bmpwrite(f, I, &why);
    if (!r) boxes.push_back(std::string(why.text) + "|" + why.title);
    return r;
}

void check(bool ok, const char* what, const std::string& detail = "")
{
    if (ok) return;
    std::printf("FAIL: %s %s\n", what, detail.c_str());
    failures++;
}

std::string readall(const std::string& f)
{
    std::string s;
    if (FILE* i = std::fopen(f.c_str(), "rb")) {
        char b[4096];
        size_t k;
        while ((k = std::fread(b, 1, sizeof b, i)) > 0) s.append(b, k);
        std::fclose(i);
    }
    return s;
}

void writeall(const std::string& f, const std::string& s)
{
    FILE* o = std::fopen(f.c_str(), "wb");
    if (o) std::fwrite(s.data(), 1, s.size(), o);
    if (!o || std::fclose(o) != 0) check(false, "cannot write", f);
}

// The names in folder d, in one line.
std::string listing(const std::string& d)
{
    std::string s;
    WIN32_FIND_DATAA e;
    HANDLE h = FindFirstFileA((d + "\\*").c_str(), &e);
    if (h == INVALID_HANDLE_VALUE) return s;
    do {
        if (std::strcmp(e.cFileName, ".") && std::strcmp(e.cFileName, "..")) s += std::string(e.cFileName) + " ";
    } while (FindNextFileA(h, &e));
    FindClose(h);
    return s;
}

// bmpwrite gives r and, when it fails, exactly the one warning text.
void expect(const std::string& f, const image& I, int r, const char* text)
{
    boxes.clear();
    int got = bmpwrite(f.c_str(), I);
    check(got == r, "result of", f);
    if (r) check(boxes.empty(), "a warning for", f);
    else check(boxes.size() == 1 && boxes[0] == std::string(text) + "|" + f, "warning for", f);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const std::string d = argv[1];
    image I;
    I.reset(7, 5);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++) I.Row(y)[x] = pal3((unsigned char)(40 * y), (unsigned char)x, 9);
    const std::string old = "the old map";
    const std::string map = d + "\\map.bmp";

    // A new map, then a map written over an old one.
    expect(map, I, 1, "");
    const std::string good = readall(map);
    check(good.size() == 174, "size of a new map");
    writeall(map, old);
    expect(map, I, 1, "");
    check(readall(map) == good, "the replaced map");

    // A folder of that name.
    CreateDirectoryA((d + "\\folder.bmp").c_str(), nullptr);
    expect(d + "\\folder.bmp", I, 0, "I can't open this file");

    // A read-only file: MoveFileEx would refuse it too, but only after the
    // temporary file was made.
    writeall(map, old);
    SetFileAttributesA(map.c_str(), FILE_ATTRIBUTE_READONLY);
    expect(map, I, 0, "I can't open this file");
    check(readall(map) == old, "a read-only map changed");
    SetFileAttributesA(map.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A file another program holds open without sharing.
    writeall(map, old);
    HANDLE lock = CreateFileA(map.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    check(lock != INVALID_HANDLE_VALUE, "cannot lock", map);
    expect(map, I, 0, "I can't open this file");
    CloseHandle(lock);
    check(readall(map) == old, "a locked map changed");

    // Device names take every byte and keep none: refused, whatever their
    // case, ending or folder, and nothing is made beside.
    SetCurrentDirectoryA(d.c_str());
    expect("NUL", I, 0, "I can't open this file");
    expect("nul .bmp", I, 0, "I can't open this file");
    expect(d + "\\com1.map.bmp", I, 0, "I can't open this file");

    // A file that comes at a new map's name while it is written stays; one
    // that comes at the name of a map being replaced is replaced.
    const std::string fresh = d + "\\fresh.bmp";
    knobs.write_beforeplace = [](const char* real) { writeall(real, "came meanwhile"); };
    expect(fresh, I, 0, "I can't write this file");
    check(readall(fresh) == "came meanwhile", "a new map replaced a file that came meanwhile");
    writeall(map, old);
    expect(map, I, 1, "");
    knobs.write_beforeplace = nullptr;
    check(readall(map) == good, "the map that replaced a file");
    DeleteFileA(fresh.c_str());
    check(listing(d) == "folder.bmp map.bmp ", "files after a file came meanwhile:", listing(d));

    // Each step of the write failing in turn: a full disk's outcome.
    knobs.writechunk = 16;
    int step = 1;
    for (; step < 100; step++) {
        writeall(map, old);
        knobs.writefailstep = step;
        boxes.clear();
        if (bmpwrite(map.c_str(), I)) break;
        check(boxes.size() == 1 && boxes[0] == "I can't write this file|" + map, "warning of failed step");
        check(readall(map) == old, "a failed write changed the old map");
        check(listing(d) == "folder.bmp map.bmp ", "files after a failed write:", listing(d));
    }
    check(step == 15, "steps of a write");
    check(readall(map) == good, "the map after the failing steps");
    check(listing(d) == "folder.bmp map.bmp ", "files left:", listing(d));

    std::printf("%s\n", failures ? "wincheck: FAILED" : "wincheck: ok");
    return failures ? 1 : 0;
}
