// A run stopped from its console (Ctrl+C, Ctrl+Break, the console closed)
// leaves no temporary file behind.
#include "port/signals.h"

#include <windows.h>

#include <cstring>

#include "port/names.h"
#include "port/wide_win32.h"

namespace {
// The handler runs on a thread of its own, at any moment: the name is
// written before it is marked as there, and unmarked before it changes.
wchar_t pending[PATHSIZE];
volatile LONG haspending = 0;

BOOL WINAPI onstop(DWORD)
{
    if (haspending) DeleteFileW(pending);
    return FALSE;  // then the system ends the program as it would have
}
}  // namespace

void pendingtemp(const char* name)
{
    InterlockedExchange(&haspending, 0);
    if (name && widen(name, pending, PATHSIZE)) InterlockedExchange(&haspending, 1);
}

void catchsignals() { SetConsoleCtrlHandler(onstop, TRUE); }
