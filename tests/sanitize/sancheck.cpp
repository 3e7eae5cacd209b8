// Commits one kind of error, named by the first argument, so that check.sh
// can see the sanitizer build stop and report it; "none" commits nothing.
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
void* volatile keep;  // a block the leak case forgets again
volatile int at;      // sizes, indices and values the compiler cannot fold
volatile int size = 8;
volatile double big = 1e10;
int shared;  // written by two threads at once in the race case
}

int main(int argc, char** argv)
{
    const char* kind = argc > 1 ? argv[1] : "none";
    at = argc > 2 ? std::atoi(argv[2]) : 8;
    if (!std::strcmp(kind, "overflow")) {
        char* p = (char*)std::malloc(size);
        std::memset(p, 0, size);
        int c = p[at];  // one past the end
        std::free(p);
        return c == 99;
    }
    if (!std::strcmp(kind, "afterfree")) {
        char* volatile p = (char*)std::malloc(size);
        std::memset(p, 0, size);
        std::free(p);
        return p[at % 8] == 99;
    }
    if (!std::strcmp(kind, "leak")) {
        keep = std::malloc(64);
        keep = nullptr;
        return 0;
    }
    if (!std::strcmp(kind, "intoverflow")) {
        int i = 0x7fffffff - 8 + at;  // at = 9 overflows
        return i == 5;
    }
    if (!std::strcmp(kind, "floatcast")) {
        int i = (int)big;  // 1e10 is no int
        return i == 5;
    }
    if (!std::strcmp(kind, "shift")) {
        int i = 1 << (at + 24);  // at = 8: a shift by 32
        return i == 5;
    }
    if (!std::strcmp(kind, "race")) {
        std::thread t([] { shared += at; });
        shared += at;
        t.join();
        return shared == 5;
    }
    return std::strcmp(kind, "none") != 0;
}
