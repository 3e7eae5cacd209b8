// The modal boxes of the desktop program: message boxes, questions and the
// one-line input dialog. Each runs its own event loop until answered; other
// windows get no events meanwhile.
#pragma once

// A box showing text under title, with the exclamation icon when warning is
// set, and nbuttons buttons from left to right ('&' marks a key). Button
// focus has the focus, so Enter or Space press it. Returns the number of the
// button pressed, or onclose when the box was closed or Escape pressed.
// kind names the box in the prompt log, xclass to the window system (a
// string that lives as long as the program).
int showbox(const char* kind, const char* xclass, const char* text, const char* title, bool warning,
            const char* const* buttons, int nbuttons, int focus, int onclose);

// The input dialog: prompt above a field proposing answer (room for size
// bytes, NUL included), which takes at most size - 1 characters. "accept"
// and Enter read the field into answer; "cancel", Escape and the close box
// leave it as proposed.
void inputbox(const char* prompt, char* answer, int size);

// A long text (a report) in a box that scrolls, in a fixed-width font,
// titled title; OK, Enter, Escape and the close box close it.
void textbox(const char* title, const char* text);

enum { BOXFONT = 14 };  // text size of every box
