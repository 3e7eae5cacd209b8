// The job's questions as Win32 message boxes, common file dialogs and the
// one-line ASKDB dialog; its progress as the main window's title.
#include "shell/win32_shell.h"

#include <cstdio>
#include <cstring>

#include "port/wide_win32.h"

OPENFILENAMEW ofn;      // the file dialogs' request, filled anew per call
char tit[3 * 256];      // the chosen file's name without its folder
char askprompt[128];    // the question the input dialog shows
char askbuffer[ASKBUFFER_SIZE];  // the input dialog's answer

namespace {

enum {                  // ASKDB controls
    ID_PROMPT = 6,
    ID_ANSWER = 11,
};

void winbox(window owner, message, const char* text, const char* title, int icon, const char*, int)
{
    MessageBoxW((HWND)owner, wide(text).c_str(), wide(title).c_str(),
                MB_OK | (icon == ICON_EXCLAMATION ? MB_ICONEXCLAMATION : 0));
}

int winyesno(question, const char* q)
{
    return MessageBoxW(NULL, wide(q).c_str(), L"", MB_YESNO) == IDYES;
}

int winyesnocancel(question, const char* q)
{
    return MessageBoxW(NULL, wide(q).c_str(), L"", MB_YESNOCANCEL);
}

// The filter list f, pairs of strings ended by an empty one, in UTF-16.
std::wstring widefilter(const char* f)
{
    std::wstring w;
    for (; *f; f += std::strlen(f) + 1) {
        w += wide(f);
        w += L'\0';
    }
    w += L'\0';
    return w;
}

int winfilename(window wn, question, char* file, const char* t, const char* f, int write)
{
    // Any name fits file's PATHSIZE bytes: a UTF-16 unit takes at most 3.
    static wchar_t name[PATHSIZE / 3];
    static wchar_t title[256];
    const std::wstring filter = widefilter(f), caption = wide(t);
    if (!widen(file, name, PATHSIZE / 3)) name[0] = 0;
    title[0] = 0;
    ofn.lStructSize = sizeof(OPENFILENAMEW);
    ofn.hwndOwner = (HWND)wn;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrCustomFilter = NULL;
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = name;
    ofn.nMaxFile = PATHSIZE / 3;
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = 256;
    ofn.lpstrInitialDir = NULL;
    ofn.lpstrTitle = caption.c_str();
    ofn.Flags = write ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    // A cancelled dialog (or a name too long for it, which writes the room
    // it needed over the start of name) leaves the proposal as it was.
    int chosen = (write ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn)) ? 1 : 0;
    if (chosen) {
        narrow(name, file, PATHSIZE);
        narrow(title, tit, sizeof tit);
    }
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
    rundialogbox(w, Instance, L"ASKDB", newboxproc);
    std::snprintf(answer, (size_t)size, "%s", askbuffer);
    SetFocus(w);
    InvalidateRect(w, NULL, FALSE);
    return 1;
}

void winsettitle(window wn, stage, const char* s)
{
    SetWindowTextW((HWND)wn, wide(s).c_str());
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
    winbox, winyesno, winyesnocancel, winfilename, wingetstr, winsettitle, nullptr, nullptr,
};

std::wstring wide(const char* s)
{
    std::wstring w(std::strlen(s) + 1, L'\0');  // never more units than bytes
    widen(s, &w[0], (int)w.size());
    w.resize(std::wcslen(w.c_str()));
    return w;
}

INT_PTR rundialogbox(HWND wn, HINSTANCE I, const wchar_t* name, DLGPROC proc)
{
    return DialogBoxParamW(I, name, wn, proc, 0);
}

INT_PTR CALLBACK newboxproc(HWND db, UINT M, WPARAM S, LPARAM L)
{
    switch (M) {
    case WM_INITDIALOG:
        ValidateRect(Main, NULL);
        diput(db, ID_PROMPT, askprompt);
        diput(db, ID_ANSWER, askbuffer);
        // The field never takes more than askbuffer holds.
        SendDlgItemMessageW(db, ID_ANSWER, EM_LIMITTEXT, ASKBUFFER_SIZE - 1, 0);
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
    SetDlgItemTextW(db, c, wide(s).c_str());
}

void diget(HWND db, int c, char* s, int size)
{
    if (size <= 0) return;
    wchar_t w[ASKBUFFER_SIZE];
    w[0] = 0;
    GetDlgItemTextW(db, c, w, ASKBUFFER_SIZE);
    narrow(w, s, size);
}
