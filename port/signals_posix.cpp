// The signal handler that removes the temporary file in the works.
#include "port/signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "port/names.h"

namespace {
// The handler may come at any moment: the name is written before it is
// marked as there, and unmarked before it changes.
char pending[PATHSIZE + 64];
volatile sig_atomic_t haspending = 0;

void onsignal(int sig)
{
    if (haspending) unlink(pending);
    // SA_RESETHAND gave the signal its default action back; blocked while
    // the handler runs, it ends the program as soon as the handler returns.
    raise(sig);
}
}  // namespace

void pendingtemp(const char* name)
{
    haspending = 0;
    if (!name || std::strlen(name) >= sizeof pending) return;
    std::memcpy(pending, name, std::strlen(name) + 1);
    haspending = 1;
}

void catchsignals()
{
    signal(SIGPIPE, SIG_IGN);
    static const int STOPS[] = {SIGINT, SIGTERM, SIGHUP};
    for (int sig : STOPS) {
        struct sigaction was;
        if (sigaction(sig, nullptr, &was) != 0 || was.sa_handler == SIG_IGN) continue;
        struct sigaction a;
        std::memset(&a, 0, sizeof a);
        a.sa_handler = onsignal;
        a.sa_flags = SA_RESETHAND;
        sigemptyset(&a.sa_mask);
        sigaction(sig, &a, nullptr);
    }
}
