// Timing for the benchmark: wall and CPU clocks, and programs run as processes.
#include "bench/clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char** environ;

double seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double cpuseconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

double median(const double* v, int n)
{
    std::vector<double> s(v, v + n);
    std::sort(s.begin(), s.end());
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

childrun runchild(char* const* argv)
{
    childrun r = {0, 0, 0, -1};
    posix_spawn_file_actions_t fa;
    if (posix_spawn_file_actions_init(&fa) != 0) return r;
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    double t0 = seconds();
    pid_t pid;
    int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (err != 0) return r;
    int st = 0;
    struct rusage ru = {};
    // wait4 gives this child's own figures, not the sum of every child's.
    while (wait4(pid, &st, 0, &ru) < 0)
        if (errno != EINTR) return r;
    r.secs = seconds() - t0;
    r.cpu = (double)(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            1e-6 * (double)(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
    r.kb = ru.ru_maxrss;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
