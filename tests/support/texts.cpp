// Prints the run's own words, one "NAME<TAB>TEXT" line each, so that the
// scripts that drive the programs under Xvfb and Wine take the questions
// and titles from the one table instead of spelling them again.
#include <cstdio>

#include "job/job.h"
#include "port/prompts.h"

int main()
{
    static const char* const qnames[NQUESTIONS] = {"Q_MESH",   "Q_OUTPUT", "Q_KIND", "Q_SEPARATE",
                                                   "Q_SENSE",  "Q_FIGURE", "Q_INVERT", "Q_SIZE",
                                                   "Q_EXISTS", "Q_CHECKPICTURE"};
    static const char* const snames[NSTAGES] = {"STAGE_READFIGURE", "STAGE_READMESH", "STAGE_READLIBRARY",
                                                "STAGE_MATCH",      "STAGE_PAINT",    "STAGE_MARGIN",
                                                "STAGE_EDGES",      "STAGE_INVERT",   "STAGE_FINISHED",
                                                "STAGE_CHECK"};
    for (int q = 0; q < NQUESTIONS; q++) std::printf("%s\t%s\n", qnames[q], questiontext((question)q));
    for (int s = 0; s < NSTAGES; s++) std::printf("%s\t%s\n", snames[s], stagetitle((stage)s));
    std::printf("HELP\t%s\n", helptext);
    return 0;
}
