// A promptops that records every message box, for tests of code that warns.
// Questions and dialogs are recorded too, and answered "no" / cancelled.
#pragma once
#include "shell/prompts.h"

#include <string>
#include <vector>

struct shownbox {
    bool owned;         // an owner window was given
    std::string text;
    std::string title;
    int icon;
};

// Installs the recorder on construction and the previous prompts on
// destruction; boxes are collected in `boxes`, other calls in `others`.
struct recordprompts {
    recordprompts();
    ~recordprompts();
    std::vector<shownbox> boxes;
    std::vector<std::string> others;

  private:
    const promptops* previous;
};
