// The Windows program: its main window, the globals its dialogs share, and
// the Win32 prompts the job talks through. Text is UTF-8 inside and goes to
// Windows through the wide (W) functions.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "port/prompts.h"

extern const wchar_t progname[];  // "UVPAINTR": class, title, menu and icon name
extern HINSTANCE Instance;        // the program's module
extern HWND Main;                 // the main window
extern unsigned char KEYS[256];   // input dialog key states: 255 down, 0 up

enum {                            // menu commands
    CMD_MAKEMAP = 256,
    CMD_CHECK = 264,
    CMD_EXIT = 262,
    CMD_HELP = 263,
};

// The program, window or batch command as the arguments ask; the exit
// status. WinMain (uvpaint.exe) and main (the console companion) call it.
int uvpaintmain(HINSTANCE hInst);
// The main window's procedure: menu commands, sizing, painting, quitting.
LRESULT CALLBACK MainWinProc(HWND wn, UINT iMessage, WPARAM S, LPARAM L);
// Creates, shows and updates a top-level window; null when it fails.
HWND newwindow(const wchar_t* clas, const wchar_t* name, DWORD c);

// The UTF-16 form of the UTF-8 text s, for the W functions.
std::wstring wide(const char* s);

// The Win32 prompts: message boxes, file dialogs, the ASKDB dialog, titles.
extern const promptops win32prompts;
extern OPENFILENAMEW ofn;         // the last file dialog request
extern char tit[3 * 256];         // the last chosen file's name, no folder (UTF-8)
extern char askprompt[128];       // the input dialog's question
extern char askbuffer[ASKBUFFER_SIZE];  // its answer

// Runs the modal dialog template name of module I, owned by wn.
INT_PTR rundialogbox(HWND wn, HINSTANCE I, const wchar_t* name, DLGPROC proc);
// The ASKDB dialog's procedure.
INT_PTR CALLBACK newboxproc(HWND db, UINT M, WPARAM S, LPARAM L);
void diput(HWND db, int c, const char* s);        // control c's text = s
void diget(HWND db, int c, char* s, int size);    // control c's text, cut to size-1 bytes at a character
