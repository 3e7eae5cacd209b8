// Entry point, the main window and its menu commands.
#include "shell/win32_shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "job/job.h"
#include "shell/batch.h"

const char progname[] = "UVPAINTR";
HINSTANCE Instance;
HWND Main;
unsigned char KEYS[256];

namespace {

jobsession session;  // the mesh the next run proposes; whether a run is up

// Without a window class there is no program: say so and stop.
void Register(const char* name, WNDPROC proc)
{
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 2;
    wc.hInstance = Instance;
    wc.hIcon = LoadIconA(Instance, progname);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = name;
    if (!RegisterClassA(&wc)) {
        MessageBoxA(NULL, name, "I can't register the window class", MB_OK | MB_ICONEXCLAMATION);
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
// console of the command prompt that started the program, if any.
void batchconsole()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    bool hasout = out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
    bool haserr = err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN;
    if ((hasout && haserr) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!hasout) std::freopen("CONOUT$", "w", stdout);
    if (!haserr) std::freopen("CONOUT$", "w", stderr);
}

} // namespace

HWND newwindow(const char* clas, const char* name, DWORD c)
{
    HWND wn = CreateWindowExA(0, clas, name, WS_OVERLAPPEDWINDOW | c,
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
        SetMenu(wn, LoadMenuA(Instance, progname));
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
                SendMessageA(wn, WM_CLOSE, 0, 0);
                return 0;
            }
            SetWindowTextA(wn, progname);  // a stopped run leaves no stage title behind
            break;
        case CMD_CHECK:
            if (session.running) return busy();
            checklayout(wn, &session);  // the window stays for another try
            SetWindowTextA(wn, progname);
            break;
        case CMD_EXIT:
            if (session.running) return busy();
            SendMessageA(wn, WM_CLOSE, 0, 0);
            return 0;
        case CMD_HELP:
            MessageBoxA(wn, helptext, "uvpaint help", MB_OK);
            break;
        default:
            return 0;
        }
        break;
    }
    return DefWindowProcA(wn, iMessage, S, L);
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrev, LPSTR CmdLine, int nCmdShow)
{
    (void)CmdLine;   // the run-time library has split it into __argv
    (void)nCmdShow;  // the window always opens maximised
    Instance = hInst;
    // Options: the batch command, as on Linux. File names alone (dropped
    // on the program, or "Open with") open the window: the batch command's
    // refusal would go to no console.
    if (wantsbatch(__argc, __argv)) {
        batchconsole();
        return runbatch(__argc, __argv);
    }
    setprompts(&win32prompts);
    if (!hPrev) Register(progname, MainWinProc);
    std::memset(KEYS, 0, sizeof KEYS);
    Main = newwindow(progname, progname, WS_MAXIMIZE);
    if (!Main) {
        MessageBoxA(NULL, progname, "I can't open the main window", MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {  // -1, an error, ends the loop too
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
