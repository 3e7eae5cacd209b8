// The scripted prompts: answers from a list, a transcript of everything shown.
#include "port/scripted.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

script* current;
const promptops* before;

void show(const std::string& line)
{
    current->shown.push_back(line);
    if (current->onshow) current->onshow(line);
}

// The next answer when it is one of the kinds allowed ("yes", "no",
// "cancel", "file", "type"; a kind followed by a blank takes the rest as its
// text). Otherwise a fault is noted and false returned.
bool take(const std::string& what, std::initializer_list<const char*> kinds, std::string* kind,
          std::string* text)
{
    // A caller that asks again after each refusal would never end.
    if (current->faults.size() >= 1000) {
        std::fprintf(stderr, "scripted prompts: 1000 faults, the last: %s\n", what.c_str());
        std::abort();
    }
    if (current->next >= current->answers.size()) {
        current->faults.push_back("no answer left for " + what);
        return false;
    }
    const std::string& a = current->answers[current->next];
    std::string k = a.substr(0, a.find(' '));
    for (const char* allowed : kinds)
        if (k == allowed) {
            current->next++;
            *kind = k;
            *text = k.size() < a.size() ? a.substr(k.size() + 1) : "";
            return true;
        }
    current->faults.push_back("answer " + std::to_string(current->next + 1) + " \"" + a +
                              "\" does not fit " + what);
    current->next++;  // used up, so later answers stay in step
    return false;
}

void box(window owner, message, const char* text, const char* title, int icon, const char*, int)
{
    std::string line = owner ? "box(owner): " : "box: ";
    line += std::string(text) + " | " + title;
    if (icon == ICON_EXCLAMATION) line += " | !";
    else if (icon != ICON_NONE) line += " | icon " + std::to_string(icon);
    show(line);
}

int askyesno(question id, const char* q)
{
    current->asked.push_back(id);
    std::string what = std::string("yesno: ") + q, kind, text;
    bool ok = take(what, {"yes", "no"}, &kind, &text);
    show(what + " -> " + (ok ? kind : "FAULT"));
    return ok && kind == "yes";
}

int askyesnocancel(question id, const char* q)
{
    current->asked.push_back(id);
    std::string what = std::string("yesnocancel: ") + q, kind, text;
    bool ok = take(what, {"yes", "no", "cancel"}, &kind, &text);
    show(what + " -> " + (ok ? kind : "FAULT"));
    if (!ok || kind == "cancel") return ANSWER_CANCEL;
    return kind == "yes" ? ANSWER_YES : ANSWER_NO;
}

// "OBJ files\0*.OBJ\0\0" as "OBJ files|*.OBJ".
std::string filterlist(const char* f)
{
    std::string s;
    for (const char* p = f; p && *p; p += std::strlen(p) + 1) {
        if (!s.empty()) s += '|';
        s += p;
    }
    return s;
}

int filename(window, question id, char* file, const char* t, const char* f, int write)
{
    current->asked.push_back(id);
    std::string what = std::string(write ? "save: " : "open: ") + t + " [" + filterlist(f) +
                       "] proposing " + file;
    std::string kind, text;
    bool ok = take(what, {"file", "cancel"}, &kind, &text);
    bool chosen = ok && kind == "file";
    show(what + " -> " + (!ok ? "FAULT" : chosen ? text : "cancel"));
    if (!chosen) return 0;
    std::snprintf(file, PATHSIZE, "%s", text.c_str());
    return 1;
}

int getstr(window, question id, const char* prompt, char* answer, int size)
{
    current->asked.push_back(id);
    std::string what = std::string("ask: ") + prompt + " proposing " + answer;
    std::string kind, text;
    bool ok = take(what, {"type", "cancel"}, &kind, &text);
    bool typed = ok && kind == "type";
    show(what + " -> " + (!ok ? "FAULT" : typed ? text : "cancel"));
    if (typed) std::snprintf(answer, (size_t)size, "%s", text.c_str());
    return 1;
}

void title(window, stage, const char* s) { show(std::string("title: ") + s); }

void progress(window, int percent) { current->progress = percent; }

// What the run did, noted in the transcript as "note: ...".
void noted(note id, const char* text)
{
    static const char* const names[] = {"wrote", "all paired", "none paired", "beyond"};
    show(std::string("note: ") + names[id] + (*text ? std::string(" ") + text : ""));
}

// A report: its title in the transcript, its text kept for the test to read.
void text(window, const char* t, const char* body)
{
    current->texts.push_back(body);
    show(std::string("report: ") + t);
}

const promptops scripted = {box, askyesno, askyesnocancel, filename, getstr, title, progress, noted, text};

}  // namespace

void usescript(script* s)
{
    if (s && !current) before = currentprompts();
    current = s;
    setprompts(s ? &scripted : before);
}

std::string scriptfaults(const script& s)
{
    std::string r;
    for (const std::string& f : s.faults) r += f + "\n";
    for (size_t i = s.next; i < s.answers.size(); i++)
        r += "answer " + std::to_string(i + 1) + " \"" + s.answers[i] + "\" was not used\n";
    return r;
}

std::string transcript(const script& s)
{
    std::string r;
    for (const std::string& line : s.shown) r += line + "\n";
    return r;
}
