// The main window of the desktop program: a white window with a three-item
// menu bar, whose make command runs a whole job inside its callback.
#include "shell/desktop.h"

#include "job/job.h"
#include "shell/fltk_prompts.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/x.H>

#include <cstdio>
#include <cstdlib>

#include "resources/uvpaint_icon.h"

namespace {
const char progname[] = "UVPAINTR";
jobsession session;  // the mesh the next run proposes; whether a run is up

Fl_Double_Window* Main;
Fl_Menu_Bar* bar;

// Greyed while a run is up, so that no second run (and no exit) starts
// while the first one waits in a question or works.
void livemenu(bool live)
{
    for (int i = 0; i < bar->size() - 1; i++) bar->mode(i, live ? 0 : FL_MENU_INACTIVE);
    bar->redraw();
}

void makecmd(Fl_Widget*, void*)
{
    if (session.running) return;
    livemenu(false);
    bool done = maketexmap(Main, &session);
    livemenu(true);
    if (done) Main->hide();
    else Main->label(progname);  // a stopped run leaves no stage title behind
}

void checkcmd(Fl_Widget*, void*)
{
    if (session.running) return;
    livemenu(false);
    checklayout(Main, &session);  // the window stays for another try
    livemenu(true);
    Main->label(progname);
}

void exitcmd(Fl_Widget*, void*)
{
    if (!session.running) Main->hide();
}

void helpcmd(Fl_Widget*, void*)
{
    messagebox(Main, MSG_OTHER, helptext, "uvpaint help", ICON_NONE);
}

// The close box ends the program except during a run, whose questions and
// files would be cut off half-way; Escape never closes the main window.
void closecmd(Fl_Widget*, void*)
{
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (session.running) return;
    Main->hide();
}

// Every window of the program shows the program's icon; FLTK keeps a copy.
void seticon()
{
    static unsigned char rgb[ICONSIZE * ICONSIZE * 3];
    for (int y = 0; y < ICONSIZE; y++)
        for (int x = 0; x < ICONSIZE; x++) {
            const char h = ICONROWS[y][x];
            const unsigned c = ICONPALETTE[h <= '9' ? h - '0' : h - 'a' + 10];
            unsigned char* p = rgb + 3 * (y * ICONSIZE + x);
            p[0] = (unsigned char)(c >> 16);
            p[1] = (unsigned char)(c >> 8);
            p[2] = (unsigned char)c;
        }
    Fl_RGB_Image image(rgb, ICONSIZE, ICONSIZE, 3);
    Fl_Window::default_icon(&image);
}

// Asks the window manager to maximise the shown window (the window already
// covers the work area for a desktop without one).
void maximise(Fl_Window* w)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = fl_xid(w);
    ev.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1;  // add
    ev.xclient.data.l[1] = long(XInternAtom(fl_display, "_NET_WM_STATE_MAXIMIZED_VERT", False));
    ev.xclient.data.l[2] = long(XInternAtom(fl_display, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    ev.xclient.data.l[3] = 1;  // from an application
    XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(fl_display);
}
}

int rundesktop(int argc, char** argv)
{
    // A mesh given by name (a file manager's "Open with") is the first
    // run's proposal.
    if (argc > 1) std::snprintf(session.file, sizeof session.file, "%s", argv[1]);
    // Opened here rather than by FLTK, which ends the program when it cannot.
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return -1;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return -1;
    fl_open_display(d);
    Fl::scheme("gtk+");
    seticon();

    int x, y, w, h;
    Fl::screen_work_area(x, y, w, h);
    Main = new Fl_Double_Window(x, y, w, h, progname);
    Main->xclass("uvpaint");
    Main->color(FL_WHITE);
    Main->callback(closecmd);
    bar = new Fl_Menu_Bar(0, 0, w, 28);
    // The '&' letters are given as shortcuts too: FLTK 1.3's menu bar
    // answers Alt and a marked letter only for items that open a menu.
    bar->add("&make texture map of OBJ mesh file", FL_ALT + 'm', makecmd);
    bar->add("&check UV layout of OBJ mesh file", FL_ALT + 'c', checkcmd);
    bar->add("e&xit", FL_ALT + 'x', exitcmd);
    bar->add("&help", FL_ALT + 'h', helpcmd);
    Main->resizable(new Fl_Box(0, 28, w, h - 28));
    Main->end();

    setprompts(fltkprompts());
    Main->show();
    maximise(Main);
    Fl::run();
    setprompts(nullptr);
    delete Main;
    Main = nullptr;
    return 0;
}
