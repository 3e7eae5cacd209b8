// The job's questions as FLTK boxes and file dialogs; progress in the window title.
#include "shell/fltk_prompts.h"

#include "shell/fltk_boxes.h"
#include "shell/fltk_filter.h"
#include "shell/fltk_log.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Window.H>
#include <FL/filename.H>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void fltkmessage(window, message, const char* text, const char* title, int icon, const char*, int)
{
    static const char* const ok[] = {"OK"};
    if (icon == ICON_EXCLAMATION) showbox("warning", "uvpaint-warning", text, title, true, ok, 1, 0, 0);
    else showbox("message", "uvpaint-message", text, title, false, ok, 1, 0, 0);
}

// Escape and the close box say No: the question offers no way out besides.
int fltkyesno(question, const char* q)
{
    static const char* const yn[] = {"&Yes", "&No"};
    return showbox("yesno", "uvpaint-question", q, "", false, yn, 2, 0, 1) == 0;
}

int fltkyesnocancel(question, const char* q)
{
    static const char* const ync[] = {"&Yes", "&No", "Cancel"};
    static const int code[] = {ANSWER_YES, ANSWER_NO, ANSWER_CANCEL};
    return code[showbox("yesnocancel", "uvpaint-question", q, "", false, ync, 3, 0, 2)];
}

namespace {
// The folder of the last file chosen, where a dialog with nothing proposed
// opens, as the Windows dialogs do.
char lastdir[PATHSIZE];

// One showing of the dialog: 1 with the choice in file, 0 when cancelled
// or failed (warned).
int choosefile(window wn, char* file, const char* t, const char* f, int write)
{
    Fl_Native_File_Chooser chooser(write ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                                         : Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title(t);
    std::string filter = fltkfilter(f);
    chooser.filter(filter.c_str());
    // The save dialog asks itself before an existing file is chosen.
    if (write) chooser.options(Fl_Native_File_Chooser::NEW_FOLDER | Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    // A whole path proposes both the folder and the name; with no name the
    // dialog opens in the last folder used, at first the current one.
    char path[PATHSIZE];
    if (*file) {
        fl_filename_absolute(path, sizeof path, file);
        chooser.preset_file(path);
    } else if (*lastdir) {
        chooser.directory(lastdir);
    } else if (getcwd(path, sizeof path)) {
        chooser.directory(path);
    }
    promptlog(write ? "save" : "open", t, file);
    int r = chooser.show();
    if (r == -1) return warn(wn, chooser.errmsg(), "I can't show the file dialog");
    if (r != 0) return 0;
    const char* name = chooser.filename();
    if (!name || !*name) return 0;
    // A name cut to fit would be another file.
    if (std::strlen(name) >= PATHSIZE) return warn(wn, name, "this file name is too long");
    std::strcpy(file, name);
    return 1;
}
}  // namespace

// Names keep their case: Linux file systems tell case apart. GTK's open
// dialog takes a typed name of no file; like the Windows one, this asks
// again until an existing file is chosen.
int fltkfilename(window wn, question, char* file, const char* t, const char* f, int write)
{
    std::string proposed = file;  // what a cancel leaves, as on Windows
    for (;;) {
        if (!choosefile(wn, file, t, f, write)) {
            std::strcpy(file, proposed.c_str());
            return 0;
        }
        struct stat st;
        if (write || (stat(file, &st) == 0 && !S_ISDIR(st.st_mode))) break;
        warn(wn, file, "this file does not exist");
    }
    std::snprintf(lastdir, sizeof lastdir, "%s", file);
    if (char* slash = std::strrchr(lastdir, '/')) slash[slash == lastdir] = 0;
    else lastdir[0] = 0;
    return 1;
}

int fltkgetstr(window, question, const char* prompt, char* answer, int size)
{
    inputbox(prompt, answer, size);
    return 1;
}

// The title changes at once and the window repaints, since the job holds
// the event loop until its next question.
void fltktitle(window wn, stage, const char* s)
{
    if (Fl_Window* w = static_cast<Fl_Window*>(wn)) w->copy_label(s);
    promptlog("title", s, "");
    Fl::check();
}

// Long stages report often: the window is served every 50 ms at most.
void fltkprogress(window, int)
{
    static std::chrono::steady_clock::time_point last;
    auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(50)) return;
    last = now;
    Fl::check();
}

void fltktext(window, const char* title, const char* text) { textbox(title, text); }

const promptops ops = {fltkmessage, fltkyesno, fltkyesnocancel, fltkfilename,
                       fltkgetstr, fltktitle, fltkprogress, nullptr, fltktext};
}

const promptops* fltkprompts() { return &ops; }
