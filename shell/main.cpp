// uvpaint: the batch command line when given options, else the desktop window.
#include <cstdio>

#include "port/signals.h"
#include "shell/batch.h"
#include "shell/desktop.h"

int main(int argc, char** argv)
{
    catchsignals();
    if (wantsbatch(argc, argv)) return runbatch(argc, argv);
    int status = rundesktop(argc, argv);
    if (status != -1) return status;
    std::fputs("uvpaint: there is no desktop to open a window on; use the batch command:\n", stderr);
    batchusage(stderr);
    return 2;
}
