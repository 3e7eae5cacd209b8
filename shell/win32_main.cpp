// Entry points, the main window and its menu commands.
#include "shell/win32_shell.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "job/job.h"
#include "port/wide_win32.h"
#include "port/signals.h"
#include "shell/batch.h"

const wchar_t progname[] = L"UVPAINTR";
HINSTANCE Instance;
HWND Main;
unsigned char KEYS[256];

namespace {

jobsession session;  // the mesh the next run proposes; whether a run is up

// Without a window class there is no program: say so and stop.
void Register(const wchar_t* name, WNDPROC proc)
{
    WNDCLASSW wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 2;
    wc.hInstance = Instance;
    wc.hIcon = LoadIconW(Instance, progname);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = name;
    if (!RegisterClassW(&wc)) {
        MessageBoxW(NULL, name, L"I can't register the window class", MB_OK | MB_ICONEXCLAMATION);
        ExitProcess(1);
    }
}

// The run's unowned boxes can fall behind the main window at a click on
// it; the first visible one of this thread comes back to the front.
BOOL CALLBACK raisebox(HWND w, LPARAM)
{
    if (w == Main || !IsWindowVisible(w) || !IsWindowEnabled(w)) return TRUE;
    SetForegroundWindow(w);
    return FALSE;
}

// A command refused while a run asks its questions; the run goes on, and
// its box is brought back to the front.
LRESULT busy()
{
    MessageBeep(MB_OK);
    EnumThreadWindows(GetCurrentThreadId(), raisebox, 0);
    return 0;
}

// A GUI program gets no console. Standard handles that were redirected
// (files, pipes) are used as they are; without them, output goes to the
// console of the command prompt that started the program, if any. False
// when there is nowhere for output to go.
bool batchconsole()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    bool hasout = out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
    bool haserr = err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN;
    if (hasout && haserr) return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return hasout;
    if (!hasout) std::freopen("CONOUT$", "w", stdout);
    if (!haserr) std::freopen("CONOUT$", "w", stderr);
    return true;
}

UINT consolecp;  // the console's code page before the run, 0 when unchanged

void restorecp() { SetConsoleOutputCP(consolecp); }

// Messages are UTF-8: a console shows them as such for the length of the
// run, then gets its code page back.
void utf8console()
{
    DWORD mode;
    bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
                   GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    UINT cp = GetConsoleOutputCP();
    if (!console || cp == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
    consolecp = cp;
    std::atexit(restorecp);
}

// The arguments in UTF-8, from the wide command line: the run-time
// library's __argv holds them in the code page, where names outside it
// turn into others. Null when they cannot be had.
char** utf8args(int* argc)
{
    wchar_t** w = CommandLineToArgvW(GetCommandLineW(), argc);
    if (!w) return nullptr;
    char** a = (char**)std::calloc((size_t)*argc + 1, sizeof(char*));
    // Kept for the life of the run; out of memory, the program ends.
    for (int i = 0; a && i < *argc; i++) {
        size_t n = 3 * std::wcslen(w[i]) + 1;  // at most 3 bytes a unit
        if (!(a[i] = (char*)std::malloc(n))) a = nullptr;
        else narrow(w[i], a[i], (int)n);
    }
    LocalFree(w);
    return a;
}

// "/?", as Windows programs take it: the help, in the console when there
// is one, else in a box.
int help(char** argv)
{
    char* a[] = {argv[0], (char*)"--help", nullptr};
    if (batchconsole()) {
        utf8console();
        return runbatch(2, a);
    }
    // The help goes through a file of the user's temporary folder that is
    // gone when closed (tmpfile() would want the drive's root).
    wchar_t dir[MAX_PATH + 1], name[MAX_PATH + 1];
    FILE* t = nullptr;
    if (GetTempPathW(MAX_PATH + 1, dir) && GetTempFileNameW(dir, L"uvp", 0, name)) t = _wfopen(name, L"w+bD");
    if (!t) return 2;
    batchhelp(t);
    std::string text;
    std::rewind(t);
    for (int c; (c = std::fgetc(t)) != EOF;) text += (char)c;
    std::fclose(t);
    MessageBoxW(NULL, wide(text.c_str()).c_str(), L"uvpaint help", MB_OK);
    return 0;
}

} // namespace

HWND newwindow(const wchar_t* clas, const wchar_t* name, DWORD c)
{
    HWND wn = CreateWindowExW(0, clas, name, WS_OVERLAPPEDWINDOW | c,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              NULL, NULL, Instance, NULL);
    if (wn) {
        ShowWindow(wn, SW_SHOW);
        UpdateWindow(wn);
    }
    return wn;
}

LRESULT CALLBACK MainWinProc(HWND wn, UINT iMessage, WPARAM S, LPARAM L)
{
    switch (iMessage) {
    case WM_CREATE:
        SetMenu(wn, LoadMenuW(Instance, progname));
        ShowWindow(wn, SW_SHOW);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        RECT r;
        PAINTSTRUCT ps;
        GetClientRect(wn, &r);
        BeginPaint(wn, &ps);
        EndPaint(wn, &ps);
        break;
    }
    case WM_GETMINMAXINFO: {
        MINMAXINFO* mm = (MINMAXINFO*)L;
        mm->ptMaxPosition.x = -4;
        mm->ptMaxPosition.y = -4;
        return 0;
    }
    case WM_ENTERIDLE:
        return 0;
    case WM_CLOSE:
        // A run's unowned boxes leave the close box live; the run still
        // needs its window, so closing waits until it is over.
        if (session.running) return busy();
        break;
    case WM_COMMAND:
        switch (LOWORD(S)) {
        case CMD_MAKEMAP:
            if (session.running) return busy();  // one run at a time
            if (maketexmap(wn, &session)) {
                SendMessageW(wn, WM_CLOSE, 0, 0);
                return 0;
            }
            SetWindowTextW(wn, progname);  // a stopped run leaves no stage title behind
            break;
        case CMD_CHECK:
            if (session.running) return busy();
            checklayout(wn, &session);  // the window stays for another try
            SetWindowTextW(wn, progname);
            break;
        case CMD_EXIT:
            if (session.running) return busy();
            SendMessageW(wn, WM_CLOSE, 0, 0);
            return 0;
        case CMD_HELP:
            MessageBoxW(wn, wide(helptext).c_str(), L"uvpaint help", MB_OK);
            break;
        default:
            return 0;
        }
        break;
    }
    return DefWindowProcW(wn, iMessage, S, L);
}

int uvpaintmain(HINSTANCE hInst)
{
    Instance = hInst;
    int argc = 0;
    char** argv = utf8args(&argc);
    if (!argv) {
        MessageBoxW(NULL, L"out of memory", L"I can't read the command line", MB_OK | MB_ICONEXCLAMATION);
        return 2;
    }
    if (argc == 2 && !std::strcmp(argv[1], "/?")) return help(argv);
    // Options: the batch command, as on Linux. File names alone (dropped
    // on the program, or "Open with") open the window: the batch command's
    // refusal would go to no console.
    if (wantsbatch(argc, argv)) {
        batchconsole();
        utf8console();
        catchsignals();
        return runbatch(argc, argv);
    }
    // A mesh dropped on the program (or "Open with") is the first run's
    // proposal.
    if (argc > 1) std::snprintf(session.file, sizeof session.file, "%s", argv[1]);
    setprompts(&win32prompts);
    Register(progname, MainWinProc);
    std::memset(KEYS, 0, sizeof KEYS);
    Main = newwindow(progname, progname, WS_MAXIMIZE);
    if (!Main) {
        MessageBoxW(NULL, progname, L"I can't open the main window", MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {  // -1, an error, ends the loop too
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE, LPSTR, int)
{
    // The command line is read wide; the window always opens maximised.
    return uvpaintmain(hInst);
}
