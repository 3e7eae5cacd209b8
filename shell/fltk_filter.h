// File-dialog filters of the job, in the form FLTK's file choosers take.
#pragma once
#include <string>

// Turns a list of description and pattern pairs, each NUL-ended and the list
// ended by an extra NUL ("OBJ files\0*.OBJ\0\0"), into FLTK's filter text:
// "description\tpattern" lines joined by newlines. Letters of a pattern
// match either case ("*.OBJ" becomes "*.[oO][bB][jJ]"), "*.*" becomes "*",
// and a ';'-separated pattern list becomes {a,b}. Null gives "".
std::string fltkfilter(const char* f);
