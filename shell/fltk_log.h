// The prompt log: when UVPAINT_PROMPT_LOG names a file, every box, dialog
// and title the desktop shows is appended to it as one line, so a test that
// drives the real window can tell what is up.
#pragma once

// Appends "kind<TAB>title<TAB>text" with tabs, newlines and backslashes in
// title and text written as \t, \n and \\. Kinds: message, warning, yesno,
// yesnocancel (title and text as shown), open and save (title and proposed
// name), input (prompt and proposed answer), title (the new window title).
// Does nothing without the variable.
void promptlog(const char* kind, const char* title, const char* text);
