// Sharing a stage out among the cores: a thread for each part, the calling
// thread taking the first. The reader, the painting and the finishing use it.
#pragma once
#include <system_error>
#include <thread>

enum { MAXTHREADS = 8 };

// Cores to use: 1 to MAXTHREADS. Asked of the system once: the answer
// comes from a file on some systems, and every stage of every map asks.
inline int corecount()
{
    static const int cores = [] {
        const unsigned n = std::thread::hardware_concurrency();
        return n < 1 ? 1 : n > MAXTHREADS ? (int)MAXTHREADS : (int)n;
    }();
    return cores;
}

// Runs work(k) for k = 0 to n - 1 (n at most MAXTHREADS), each on its own
// thread, k = 0 on this one; a part whose thread cannot be started runs
// here afterwards.
template <class F>
void onthreads(int n, F work)
{
    std::thread t[MAXTHREADS];
    for (int k = 1; k < n; k++) {
        try {
            t[k] = std::thread(work, k);
        } catch (const std::system_error&) {
        }
    }
    work(0);
    for (int k = 1; k < n; k++) {
        if (t[k].joinable()) t[k].join();
        else work(k);
    }
}
