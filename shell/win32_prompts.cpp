// The job's questions as Win32 message boxes, common file dialogs and the
// one-line ASKDB dialog; its progress as the main window's title.
#include "shell/win32_shell.h"

#include <cstdio>
#include <cstdlib>
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

// The report box: a dialog made in memory, with a read-only text that
// scrolls and an OK button.
enum { ID_REPORT = 100 };

struct reporttext {
    const wchar_t* title;
    const wchar_t* text;
};

INT_PTR CALLBACK reportproc(HWND db, UINT M, WPARAM S, LPARAM L)
{
    switch (M) {
    case WM_INITDIALOG: {
        const reporttext* r = (const reporttext*)L;
        SetWindowTextW(db, r->title);
        SendDlgItemMessageW(db, ID_REPORT, WM_SETFONT, (WPARAM)GetStockObject(ANSI_FIXED_FONT), FALSE);
        SetDlgItemTextW(db, ID_REPORT, r->text);
        SetFocus(GetDlgItem(db, IDOK));
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(S) == IDOK || LOWORD(S) == IDCANCEL) EndDialog(db, 1);
        return TRUE;
    }
    return FALSE;
}

// UTF-8 as UTF-16, each line feed made a carriage return and line feed as
// the edit control wants them; null when memory runs out.
wchar_t* widelines(const char* s)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    wchar_t* w = n > 0 ? (wchar_t*)std::malloc(sizeof(wchar_t) * (size_t)n) : nullptr;
    if (!w || MultiByteToWideChar(CP_UTF8, 0, s, -1, w, n) <= 0) {
        std::free(w);
        return nullptr;
    }
    size_t lf = 0;
    for (const wchar_t* p = w; *p; p++) lf += *p == L'\n';
    wchar_t* c = (wchar_t*)std::malloc(sizeof(wchar_t) * ((size_t)n + lf));
    if (c) {
        wchar_t* q = c;
        for (const wchar_t* p = w; *p; p++) {
            if (*p == L'\n') *q++ = L'\r';
            *q++ = *p;
        }
        *q = 0;
    }
    std::free(w);
    return c;
}

// Appends to a dialog template in memory: aligned as the template wants.
struct dlgbuild {
    WORD* p;
    void align() { while ((ULONG_PTR)p & 3) *p++ = 0; }
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls, const wchar_t* text)
    {
        align();
        DLGITEMTEMPLATE* t = (DLGITEMTEMPLATE*)p;
        t->style = style | WS_CHILD | WS_VISIBLE;
        t->dwExtendedStyle = 0;
        t->x = x, t->y = y, t->cx = cx, t->cy = cy;
        t->id = id;
        p = (WORD*)(t + 1);
        *p++ = 0xFFFF;
        *p++ = cls;  // a predefined class
        while ((*p++ = *text++)) {}
        *p++ = 0;  // no creation data
    }
};

void wintext(window wn, const char* title, const char* text)
{
    wchar_t* body = widelines(text);
    wchar_t* head = widelines(title);
    alignas(4) WORD mem[512];
    dlgbuild b = {mem};
    DLGTEMPLATE* t = (DLGTEMPLATE*)b.p;
    t->style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t->dwExtendedStyle = 0;
    t->cdit = 2;
    t->x = t->y = 0;
    t->cx = 420;
    t->cy = 260;
    b.p = (WORD*)(t + 1);
    *b.p++ = 0;  // no menu
    *b.p++ = 0;  // the standard dialog class
    *b.p++ = 0;  // a title set at WM_INITDIALOG
    b.item(WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 4, 4,
           412, 232, ID_REPORT, 0x0081, L"");
    b.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 185, 240, 50, 14, IDOK, 0x0080, L"OK");
    reporttext r = {head ? head : L"", body ? body : L""};
    DialogBoxIndirectParamW(Instance, (DLGTEMPLATE*)mem, (HWND)wn, reportproc, (LPARAM)&r);
    std::free(body);
    std::free(head);
}

} // namespace

const promptops win32prompts = {
    winbox, winyesno, winyesnocancel, winfilename, wingetstr, winsettitle, nullptr, nullptr, wintext,
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
