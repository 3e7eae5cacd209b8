#include "raster/replace.h"

#include <windows.h>

// rename() will not replace an existing file on Windows; MoveFileEx will.
int replacefile(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
