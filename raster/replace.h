// Putting a finished file in place of another, one file per platform.
#pragma once

// Renames from to to, replacing to when it exists. 1 when done, else 0.
int replacefile(const char* from, const char* to);
