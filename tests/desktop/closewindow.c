/* Asks a window to close as a window manager's close box does: sends it
 * WM_DELETE_WINDOW. Usage: closewindow WINDOW-ID (decimal), on $DISPLAY. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: closewindow WINDOW-ID\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "closewindow: cannot open the display\n");
        return 2;
    }
    XEvent ev = {0};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)strtoul(argv[1], NULL, 10);
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    int ok = XSendEvent(d, ev.xclient.window, False, NoEventMask, &ev);
    XSync(d, False);
    XCloseDisplay(d);
    return ok ? 0 : 1;
}
