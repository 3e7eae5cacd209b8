#include "tests/mesh/recordprompts.h"

namespace {

recordprompts* active;

void box(window owner, const char* text, const char* title, int icon)
{
    active->boxes.push_back({owner != nullptr, text, title, icon});
}
int no(const char* q)
{
    active->others.push_back(std::string("yesno: ") + q);
    return 0;
}
int cancel(const char* q)
{
    active->others.push_back(std::string("yesnocancel: ") + q);
    return ANSWER_CANCEL;
}
int nofile(window, char*, const char* t, const char*, int)
{
    active->others.push_back(std::string("getfilename: ") + t);
    return 0;
}
void getstr(window, const char* prompt) { active->others.push_back(std::string("getstr: ") + prompt); }
void title(window, const char* s) { active->others.push_back(std::string("title: ") + s); }

const promptops recorder = {box, no, cancel, nofile, getstr, title, nullptr};

}  // namespace

recordprompts::recordprompts() : previous(currentprompts())
{
    active = this;
    setprompts(&recorder);
}

recordprompts::~recordprompts()
{
    setprompts(previous);
    active = nullptr;
}
