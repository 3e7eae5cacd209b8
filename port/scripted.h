// Scripted prompts: a front end that answers every question from a list
// given in advance and writes down everything the run shows, so that whole
// runs can be tested without a person or a window.
//
// Answers, one per question, in order:
//   "yes", "no"     a yes/no question; a yes/no/cancel one also takes "cancel"
//   "cancel"        a yes/no/cancel question, a file dialog or the input dialog
//   "file NAME"     a file dialog chooses NAME (kept as given, case and all)
//   "type TEXT"     the input dialog is answered with TEXT
// Message boxes, titles and progress need no answer.
//
// Transcript, one line each:
//   box: TEXT | TITLE            a box without owner and icon
//   box(owner): TEXT | TITLE | ! a box owned by a window, exclamation icon
//   yesno: QUESTION -> yes
//   yesnocancel: QUESTION -> cancel
//   open: TITLE [OBJ files|*.OBJ] proposing NAME -> CHOICE   (or save:)
//   ask: PROMPT proposing TEXT -> ANSWER
//   title: TEXT
// A question without an answer, or with an answer of the wrong kind, is
// answered no / cancel and noted in `faults` (its transcript line ends in
// "-> FAULT"); an answer of the wrong kind is used up all the same. A caller
// that keeps asking after 1000 faults is stopped with abort() rather than
// left to hang the test.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "port/prompts.h"

struct script {
    std::vector<std::string> answers;  // the answers, in order
    size_t next = 0;                   // the next answer to give
    std::vector<std::string> shown;    // the transcript
    std::vector<question> asked;       // the questions, by name, in order
    std::vector<std::string> texts;    // the texts of the reports shown
    std::vector<std::string> faults;   // questions left without a fitting answer
    int progress = -1;                 // last percent reported, -1 for none
    // Called with each transcript line as it is written, before the answer
    // is given: lets a test act in the middle of a run.
    std::function<void(const std::string&)> onshow;
};

// Installs the scripted prompts answering from s (setprompts); null puts
// back the prompts that were installed before.
void usescript(script* s);
// "" when every question had a fitting answer and every answer was used;
// otherwise what went wrong, for a test's failure message.
std::string scriptfaults(const script& s);
// The transcript as one text, a line each, for failure messages.
std::string transcript(const script& s);
