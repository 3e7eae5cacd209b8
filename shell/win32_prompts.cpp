// The job's questions as Win32 message boxes, common file dialogs and the
// one-line ASKDB dialog; its progress as the main window's title.
#include "shell/win32_shell.h"

#include <cstdio>
#include <cstring>

OPENFILENAMEA ofn;      // the file dialogs' request, filled anew per call
char tit[256];          // the chosen file's name without its folder
char askprompt[128];    // the question the input dialog shows
char askbuffer[ASKBUFFER_SIZE];  // the input dialog's answer

namespace {

enum {                  // ASKDB controls
    ID_PROMPT = 6,
    ID_ANSWER = 11,
};

void winbox(window owner, message, const char* text, const char* title, int icon, const char*, int)
{
    MessageBoxA((HWND)owner, text, title, MB_OK | (icon == ICON_EXCLAMATION ? MB_ICONEXCLAMATION : 0));
}

int winyesno(question, const char* q)
{
    return MessageBoxA(NULL, q, "", MB_YESNO) == IDYES;
}

int winyesnocancel(question, const char* q)
{
    return MessageBoxA(NULL, q, "", MB_YESNOCANCEL);
}

int winfilename(window wn, question, char* file, const char* t, const char* f, int write)
{
    ofn.lStructSize = sizeof(OPENFILENAMEA);
    ofn.hwndOwner = (HWND)wn;
    ofn.lpstrFilter = f;
    ofn.lpstrCustomFilter = NULL;
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;  // file has room for PATHSIZE
    ofn.lpstrFileTitle = tit;
    ofn.nMaxFileTitle = sizeof tit;
    ofn.lpstrInitialDir = NULL;
    ofn.lpstrTitle = t;
    ofn.Flags = write ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    // A name too long for the dialog makes it write the room it needed
    // over the start of file: the proposal is put back.
    char proposed[PATHSIZE];
    std::snprintf(proposed, sizeof proposed, "%s", file);
    int chosen = (write ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn)) ? 1 : 0;
    if (!chosen) std::memcpy(file, proposed, std::strlen(proposed) + 1);
    LC(file);
    LC(tit);
    return chosen;
}

int wingetstr(window wn, question, const char* prompt, char* answer, int size)
{
    HWND w = (HWND)wn;
    ValidateRect(w, NULL);  // drop a repaint pending under the dialog
    std::snprintf(askprompt, sizeof askprompt, "%s", prompt);
    std::snprintf(askbuffer, sizeof askbuffer, "%s", answer);
    rundialogbox(w, Instance, "ASKDB", newboxproc);
    std::snprintf(answer, (size_t)size, "%s", askbuffer);
    SetFocus(w);
    InvalidateRect(w, NULL, FALSE);
    return 1;
}

void winsettitle(window wn, stage, const char* s)
{
    SetWindowTextA((HWND)wn, s);
}

// Ends the dialog with the typed answer.
INT_PTR accept(HWND db)
{
    diget(db, ID_ANSWER, askbuffer, sizeof askbuffer);
    EndDialog(db, 1);
    return 1;
}

} // namespace

const promptops win32prompts = {
    winbox, winyesno, winyesnocancel, winfilename, wingetstr, winsettitle, nullptr, nullptr, wintext,
};

INT_PTR rundialogbox(HWND wn, HINSTANCE I, const char* name, DLGPROC proc)
{
    return DialogBoxParamA(I, name, wn, proc, 0);
}

INT_PTR CALLBACK newboxproc(HWND db, UINT M, WPARAM S, LPARAM L)
{
    switch (M) {
    case WM_INITDIALOG:
        ValidateRect(Main, NULL);
        diput(db, ID_PROMPT, askprompt);
        diput(db, ID_ANSWER, askbuffer);
        // The field never takes more than askbuffer holds.
        SendDlgItemMessageA(db, ID_ANSWER, EM_LIMITTEXT, ASKBUFFER_SIZE - 1, 0);
        return 1;
    case WM_COMMAND:
        if (S == IDOK) return accept(db);
        if (S == IDCANCEL) EndDialog(db, 1);  // askbuffer keeps the proposal
        return 1;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        KEYS[S % 256] = (L & 0x80000000) ? 0 : 255;
        if (KEYS[VK_ESCAPE]) return accept(db);
        return 0;
    }
    return 0;
}

void diput(HWND db, int c, const char* s)
{
    SetDlgItemTextA(db, c, s);
}

void diget(HWND db, int c, char* s, int size)
{
    if (size <= 0) return;
    s[0] = 0;
    GetDlgItemTextA(db, c, s, size);
}
