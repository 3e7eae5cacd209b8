// The FLTK message boxes, questions and input dialog, drawn as the Windows ones are.
#include "shell/fltk_boxes.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>

#include "shell/fltk_log.h"

#include <cstdio>

namespace {
// Text drawn as it is: FLTK labels would read '@' and '&' as markup, and
// file names may hold both.
struct plaintext : Fl_Widget {
    const char* text;
    plaintext(int x, int y, int w, int h, const char* t) : Fl_Widget(x, y, w, h), text(t) {}
    void draw() override
    {
        fl_font(FL_HELVETICA, BOXFONT);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(text, x(), y(), w(), h(), FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_INSIDE, nullptr, 0);
    }
};

// The exclamation icon: a yellow warning triangle.
struct warnicon : Fl_Widget {
    warnicon(int x, int y, int s) : Fl_Widget(x, y, s, s) {}
    void draw() override
    {
        int cx = x() + w() / 2, top = y() + 2, bot = y() + h() - 3;
        fl_color(fl_rgb_color(250, 200, 30));
        fl_polygon(cx, top, x() + w() - 2, bot, x() + 1, bot);
        fl_color(FL_BLACK);
        fl_loop(cx, top, x() + w() - 2, bot, x() + 1, bot);
        fl_font(FL_HELVETICA_BOLD, h() / 2);
        fl_draw("!", cx - 10, y() + h() / 3, 20, h() / 2, FL_ALIGN_CENTER, nullptr, 0);
    }
};

// A push button that a person presses with Enter or Space when it has the
// focus, as in the boxes of other desktops.
struct boxbutton : Fl_Button {
    boxbutton(int x, int y, int w, int h, const char* l) : Fl_Button(x, y, w, h, l) {}
    int handle(int e) override
    {
        if (e == FL_KEYBOARD && Fl::focus() == this &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            do_callback();
            return 1;
        }
        return Fl_Button::handle(e);
    }
};

struct boxstate {
    Fl_Window* win;
    int answer;
    int onclose;
};

void pressed(Fl_Widget* b, void*)
{
    boxstate* s = static_cast<boxstate*>(b->parent()->user_data());
    s->answer = int(b->argument());
    s->win->hide();
}

void closed(Fl_Widget*, void* data)
{
    boxstate* s = static_cast<boxstate*>(data);
    s->answer = s->onclose;
    s->win->hide();
}

// Runs a modal window until it hides, with the focus on focus. The log
// line is written once the window is up.
void runmodal(Fl_Window* w, Fl_Widget* focus, const char* kind, const char* title, const char* text)
{
    w->set_modal();
    w->position((Fl::w() - w->w()) / 2, (Fl::h() - w->h()) / 3);
    w->show();
    if (focus) focus->take_focus();
    Fl::flush();
    promptlog(kind, title, text);
    while (w->shown()) Fl::wait();
}

const int GAP = 12, BUTTONW = 88, BUTTONH = 28, ICON = 40;
}

int showbox(const char* kind, const char* xclass, const char* text, const char* title, bool warning,
            const char* const* buttons, int nbuttons, int focus, int onclose)
{
    fl_font(FL_HELVETICA, BOXFONT);
    // The text's own width up to a comfortable line; longer texts wrap there
    // and very long ones scroll.
    int maxw = Fl::w() * 2 / 3 < 560 ? Fl::w() * 2 / 3 : 560;
    int maxh = Fl::h() - 160 > 120 ? Fl::h() - 160 : 120;
    int tw = 0, th = 0;
    fl_measure(text, tw, th, 0);
    if (tw > maxw) {
        tw = maxw;
        th = 0;
        fl_measure(text, tw, th, 0);
    }
    bool scroll = th > maxh || tw > Fl::w() - 100;
    if (scroll) {
        tw = maxw;
        th = maxh;
    }
    if (th < ICON && warning) th = ICON;
    int textx = GAP + (warning ? ICON + GAP : 0);
    int bw = nbuttons * BUTTONW + (nbuttons - 1) * GAP;
    int ww = textx + tw + GAP;
    if (ww < bw + 2 * GAP) ww = bw + 2 * GAP;
    if (ww < 240) ww = 240;
    int wh = GAP + th + GAP + BUTTONH + GAP;

    boxstate s{nullptr, onclose, onclose};
    Fl_Text_Buffer buffer;  // outlives the window and its text display
    Fl_Double_Window w(ww, wh, title);
    s.win = &w;
    w.callback(closed, &s);  // also the buttons' way to the state
    w.xclass(xclass);
    if (warning) new warnicon(GAP, GAP, ICON);
    if (scroll) {
        Fl_Text_Display* d = new Fl_Text_Display(textx, GAP, tw, th);
        d->buffer(&buffer);
        buffer.text(text);
        d->textsize(BOXFONT);
        d->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
    } else {
        new plaintext(textx, GAP, tw, th, text);
    }
    Fl_Widget* first = nullptr;
    for (int i = 0; i < nbuttons; i++) {
        boxbutton* b = new boxbutton((ww - bw) / 2 + i * (BUTTONW + GAP), wh - GAP - BUTTONH,
                                     BUTTONW, BUTTONH, buttons[i]);
        b->callback(pressed);
        b->argument(i);
        if (i == focus) first = b;
    }
    w.end();
    runmodal(&w, first, kind, title, text);
    return s.answer;
}

namespace {
struct inputstate {
    Fl_Window* win;
    Fl_Input* field;
    char* answer;
    int size;
};

void accepted(Fl_Widget*, void* data)
{
    inputstate* s = static_cast<inputstate*>(data);
    std::snprintf(s->answer, size_t(s->size), "%s", s->field->value());
    s->win->hide();
}

void cancelled(Fl_Widget*, void* data)
{
    static_cast<inputstate*>(data)->win->hide();
}

const int FIELDW = 320, FIELDH = 28;
}

void inputbox(const char* prompt, char* answer, int size)
{
    int ww = GAP + FIELDW + GAP + BUTTONW + GAP;
    int wh = GAP + BUTTONH + 6 + FIELDH + GAP;
    Fl_Double_Window w(ww, wh, "");
    inputstate s{&w, nullptr, answer, size};
    w.callback(cancelled, &s);  // Escape and the close box, as on Windows
    w.xclass("uvpaint-input");
    new plaintext(GAP, GAP + 5, FIELDW, BUTTONH - 5, prompt);
    Fl_Input* field = new Fl_Input(GAP, GAP + BUTTONH + 6, FIELDW, FIELDH);
    s.field = field;
    field->textsize(BOXFONT);
    field->maximum_size(size - 1);
    field->value(answer);
    field->position(field->size(), 0);  // the proposed answer selected, as typing replaces it
    field->when(FL_WHEN_ENTER_KEY_ALWAYS);
    field->callback(accepted, &s);
    boxbutton* accept = new boxbutton(ww - GAP - BUTTONW, GAP, BUTTONW, BUTTONH, "accept");
    accept->callback(accepted, &s);
    accept->shortcut(FL_Enter);
    boxbutton* cancel = new boxbutton(ww - GAP - BUTTONW, GAP + BUTTONH + 6, BUTTONW, BUTTONH, "cancel");
    cancel->callback(cancelled, &s);
    w.end();
    runmodal(&w, field, "input", prompt, answer);
}

void textbox(const char* title, const char* text)
{
    static const char* const ok[] = {"OK"};
    int ww = Fl::w() * 3 / 4 < 760 ? Fl::w() * 3 / 4 : 760;
    int wh = Fl::h() * 3 / 4 < 560 ? Fl::h() * 3 / 4 : 560;
    if (ww < 320) ww = 320;
    if (wh < 200) wh = 200;
    boxstate s{nullptr, 0, 0};
    Fl_Text_Buffer buffer;  // outlives the window and its text display
    Fl_Double_Window w(ww, wh, title);
    s.win = &w;
    w.callback(closed, &s);
    w.xclass("uvpaint-report");
    Fl_Text_Display* d = new Fl_Text_Display(GAP, GAP, ww - 2 * GAP, wh - 3 * GAP - BUTTONH);
    d->buffer(&buffer);
    buffer.text(text);
    d->textfont(FL_COURIER);
    d->textsize(BOXFONT - 1);
    boxbutton* b = new boxbutton((ww - BUTTONW) / 2, wh - GAP - BUTTONH, BUTTONW, BUTTONH, ok[0]);
    b->callback(pressed);
    b->argument(0);
    w.resizable(d);
    w.end();
    runmodal(&w, b, "report", title, "");
}
