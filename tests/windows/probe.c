/* probe.exe: looks at and pokes the windows of a program running under the
   same wineserver, for the Wine tests of uvpaint.exe.

   probe list               every visible top-level window with its controls,
                            one JSON object a line
   probe command HWND ID    posts WM_COMMAND ID to the window
   probe close HWND         posts WM_CLOSE, as the close box does
   probe minmax HWND        sends WM_GETMINMAXINFO and prints ptMaxPosition */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static void jsonstr(const char* s);

/* Texts are read wide and printed in UTF-8, so that any name shows. */
static void jsonw(const wchar_t* w)
{
    static char s[4096];
    if (!WideCharToMultiByte(CP_UTF8, 0, w, -1, s, sizeof s, NULL, NULL)) s[0] = 0;
    jsonstr(s);
}

static void jsonstr(const char* s)
{
    putchar('"');
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (c == '"' || c == '\\') printf("\\%c", c);
        else if (c < 32) printf("\\u%04x", c);
        else putchar(c);
    }
    putchar('"');
}

static int first;

static BOOL CALLBACK child(HWND w, LPARAM top)
{
    char cls[64];
    wchar_t text[1024];
    if (GetAncestor(w, GA_ROOT) != (HWND)top) return TRUE;
    GetClassNameA(w, cls, sizeof cls);
    /* GetWindowText gives only the caption of another process's edit field */
    text[0] = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, sizeof text / sizeof text[0], (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
    printf("%s{\"id\":%d,\"class\":", first ? "" : ",", GetDlgCtrlID(w));
    jsonstr(cls);
    printf(",\"text\":");
    jsonw(text);
    printf(",\"visible\":%d,\"style\":%lu", IsWindowVisible(w) ? 1 : 0,
           (unsigned long)GetWindowLongA(w, GWL_STYLE));
    if (!strcmp(cls, "Edit"))
        printf(",\"limit\":%ld", (long)SendMessageA(w, EM_GETLIMITTEXT, 0, 0));
    if (!strcmp(cls, "Static"))
        printf(",\"icon\":%d", SendMessageA(w, STM_GETICON, 0, 0) != 0);
    putchar('}');
    first = 0;
    return TRUE;
}

static BOOL CALLBACK top(HWND w, LPARAM unused)
{
    char cls[64];
    wchar_t text[1024];
    RECT r;
    (void)unused;
    if (!IsWindowVisible(w)) return TRUE;
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextW(w, text, sizeof text / sizeof text[0]);
    GetWindowRect(w, &r);
    printf("{\"hwnd\":%lu,\"class\":", (unsigned long)(ULONG_PTR)w);
    jsonstr(cls);
    printf(",\"title\":");
    jsonw(text);
    printf(",\"owner\":%lu,\"pid\":", (unsigned long)(ULONG_PTR)GetWindow(w, GW_OWNER));
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        printf("%lu", (unsigned long)pid);
    }
    printf(",\"xid\":%lu,\"rect\":[%ld,%ld,%ld,%ld],\"enabled\":%d,\"zoomed\":%d,\"menu\":[",
           (unsigned long)(ULONG_PTR)GetPropA(w, "__wine_x11_whole_window"),
           r.left, r.top, r.right, r.bottom, IsWindowEnabled(w) ? 1 : 0, IsZoomed(w) ? 1 : 0);
    {
        HMENU m = GetMenu(w);
        int i, n = m && !(GetWindowLongA(w, GWL_STYLE) & WS_CHILD) ? GetMenuItemCount(m) : 0;
        for (i = 0; i < n; i++) {
            wchar_t item[256];
            MENUITEMINFOA mi;
            memset(&mi, 0, sizeof mi);
            mi.cbSize = sizeof mi;
            mi.fMask = MIIM_ID | MIIM_SUBMENU;
            GetMenuItemInfoA(m, i, TRUE, &mi);
            GetMenuStringW(m, i, item, sizeof item / sizeof item[0], MF_BYPOSITION);
            printf("%s{\"id\":%u,\"popup\":%d,\"text\":", i ? "," : "", mi.wID, mi.hSubMenu != NULL);
            jsonw(item);
            putchar('}');
        }
    }
    printf("],\"children\":[");
    first = 1;
    EnumChildWindows(w, child, (LPARAM)w);
    printf("]}\n");
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc >= 2 && !strcmp(argv[1], "list")) {
        EnumWindows(top, 0);
        return 0;
    }
    if (argc >= 4 && !strcmp(argv[1], "command")) {
        HWND w = (HWND)(ULONG_PTR)strtoul(argv[2], 0, 10);
        return PostMessageA(w, WM_COMMAND, (WPARAM)atoi(argv[3]), 0) ? 0 : 1;
    }
    if (argc >= 3 && !strcmp(argv[1], "close")) {
        HWND w = (HWND)(ULONG_PTR)strtoul(argv[2], 0, 10);
        return PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc >= 2 && !strcmp(argv[1], "foreground")) {
        printf("%lu\n", (unsigned long)(ULONG_PTR)GetForegroundWindow());
        return 0;
    }
    if (argc >= 3 && !strcmp(argv[1], "raise")) {
        HWND w = (HWND)(ULONG_PTR)strtoul(argv[2], 0, 10);
        return SetForegroundWindow(w) ? 0 : 1;
    }
    if (argc >= 3 && !strcmp(argv[1], "minmax")) {
        HWND w = (HWND)(ULONG_PTR)strtoul(argv[2], 0, 10);
        MINMAXINFO mm;
        memset(&mm, 0, sizeof mm);
        mm.ptMaxPosition.x = 1000;
        mm.ptMaxPosition.y = 1000;
        SendMessageA(w, WM_GETMINMAXINFO, 0, (LPARAM)&mm);
        printf("%ld %ld\n", mm.ptMaxPosition.x, mm.ptMaxPosition.y);
        return 0;
    }
    fprintf(stderr, "usage: probe list | command HWND ID | close HWND | minmax HWND | foreground | raise HWND\n");
    return 2;
}
