// The prompts of the desktop program on FLTK: boxes and questions, the
// system's file dialogs, the input dialog and the main window's title. The
// window arguments the job passes are the Fl_Window it was given.
#pragma once
#include "port/prompts.h"

const promptops* fltkprompts();  // install with setprompts
