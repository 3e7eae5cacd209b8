// The .OBJ line of a face: the mesh keeps no line numbers, so the file is
// scanned again, with the reader's own line scanner.
#pragma once

// Gives lines[i] the line of face faces[i] (0-based, in file order, counted
// from the file's first face; faces ascending, repeats allowed), lines counted
// as an editor counts them: every line end (LF, CR or CRLF) begins a line,
// blank lines included. Stops reading at the last
// face wanted. 1 when every face was found; 0 when the file cannot be read
// or holds fewer faces (the lines not found are 0).
int facelines(const char* file, const int* faces, int count, long long* lines);
