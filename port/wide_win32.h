// Names as the wide (W) functions of Windows take them: the program holds
// UTF-8, Windows UTF-16. Windows builds only.
#pragma once
#include <wchar.h>

#include "port/names.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

// The UTF-16 form of the UTF-8 string s into out (room for cap units, NUL
// included); bytes that are no UTF-8 are read in the system's 8-bit code
// page, as the A functions read every name. False, errno ENAMETOOLONG, when
// it does not fit.
bool widen(const char* s, wchar_t* out, int cap);
// The UTF-8 form of s into out (room for cap bytes); false when it does not
// fit (out then holds what fitted, cut at a character).
bool narrow(const wchar_t* s, char* out, int cap);
