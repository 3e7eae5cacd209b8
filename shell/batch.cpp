// The batch command line: the options read, and a front end that answers
// each of the run's questions from them and prints each of its boxes.
#include "shell/batch.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "job/job.h"
#include "port/prompts.h"
#include "raster/image.h"

namespace {

const char OPTIONTEXT[] =
    "  --obj MESH.obj      the mesh, with texture coordinates\n"
    "  --cr2 FIGURE.cr2    the figure whose materials give KdColor or tMax\n"
    "  --out MAP.bmp       the map to write; without it only the material names\n"
    "                      of the two files are compared\n"
    "  --kind KIND         colored (default with --cr2), mesh (default without)\n"
    "                      or transparency\n"
    "  --separate          one map per material, named MAP_material.bmp (a file\n"
    "                      of that name is replaced; a name that another map\n"
    "                      has, in either case, gets _2, _3 ...)\n"
    "  --black-transparent transparency maps: black = transparent, white = opaque\n"
    "  --invert            turn the map upside down\n"
    "  --size N            width and height in pixels, 1 to 32768 (default 640)\n"
    "  --overwrite         replace an existing MAP.bmp (with --separate too,\n"
    "                      where MAP.bmp itself is not written)\n"
    "exit status: 0 done, 1 names found on one side only, 2 refused or failed\n";

int refuse(char* why, int nwhy, const char* fmt, ...)
{
    va_list a;
    va_start(a, fmt);
    std::vsnprintf(why, (size_t)nwhy, fmt, a);
    va_end(a);
    return 0;
}
}  // namespace

bool wantsbatch(int argc, char** argv)
{
    for (int i = 1; i < argc; i++)
        if (argv[i][0] == '-') return true;
    return false;
}

void batchusage(FILE* f)
{
    std::fputs("usage: uvpaint --obj MESH.obj [--cr2 FIGURE.cr2] [--out MAP.bmp]\n"
               "               [--kind colored|mesh|transparency] [--separate]\n"
               "               [--black-transparent] [--invert] [--size N] [--overwrite]\n"
               "       uvpaint --help | --version\n",
               f);
}

int batchsize(const char* s)
{
    double v;
    if (std::sscanf(s, "%le", &v) != 1 || !std::isfinite(v)) return 0;
    v = std::trunc(v);
    return v >= 1 && v <= MAXSIDE ? (int)v : 0;
}

int parsebatch(int argc, char** argv, batchoptions* o, char* why, int nwhy)
{
    *o = batchoptions();
    const char* kind = nullptr;
    const char* size = nullptr;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help")) { o->help = 1; return 1; }
        if (!std::strcmp(a, "--version")) { o->version = 1; return 1; }
        int* flag = !std::strcmp(a, "--separate")            ? &o->separate
                    : !std::strcmp(a, "--black-transparent") ? &o->blacktransparent
                    : !std::strcmp(a, "--invert")            ? &o->invert
                    : !std::strcmp(a, "--overwrite")         ? &o->overwrite
                                                             : nullptr;
        if (flag) {
            if (*flag) return refuse(why, nwhy, "%s given twice", a);
            *flag = 1;
            continue;
        }
        const char** value = !std::strcmp(a, "--obj")    ? &o->obj
                             : !std::strcmp(a, "--cr2")  ? &o->cr2
                             : !std::strcmp(a, "--out")  ? &o->out
                             : !std::strcmp(a, "--kind") ? &kind
                             : !std::strcmp(a, "--size") ? &size
                                                         : nullptr;
        if (!value) return refuse(why, nwhy, a[0] == '-' ? "unknown option %s" : "unexpected argument %s", a);
        if (*value) return refuse(why, nwhy, "%s given twice", a);
        if (i + 1 >= argc) return refuse(why, nwhy, "%s needs a value", a);
        *value = argv[++i];
        if (!**value) return refuse(why, nwhy, "%s needs a value", a);
        // The run keeps names in PATHSIZE buffers, NUL included.
        if (std::strlen(*value) > PATHSIZE - 1)
            return refuse(why, nwhy, "the value of %s is longer than %d characters", a, PATHSIZE - 1);
    }
    if (!o->obj) return refuse(why, nwhy, "no mesh given (--obj MESH.obj)");
    if (o->out && (std::strlen(o->out) < 5 || !hasext(o->out, ".bmp")))
        return refuse(why, nwhy, "--out %s: the map's name must end in .bmp", o->out);
    if (!kind) o->kind = o->cr2 ? MAP_COLOURED : MAP_MESH;
    else if (!std::strcmp(kind, "colored")) o->kind = MAP_COLOURED;
    else if (!std::strcmp(kind, "mesh")) o->kind = MAP_MESH;
    else if (!std::strcmp(kind, "transparency")) o->kind = MAP_TRANSPARENCY;
    else return refuse(why, nwhy, "unknown kind %s (colored, mesh or transparency)", kind);
    if (!o->cr2) {
        if (!o->out) return refuse(why, nwhy, "checking material names (no --out) needs --cr2");
        if (o->kind == MAP_COLOURED) return refuse(why, nwhy, "a colored map needs --cr2");
        if (o->kind == MAP_TRANSPARENCY) return refuse(why, nwhy, "a transparency map needs --cr2");
    }
    o->size = size ? batchsize(size) : 640;
    if (!o->size) return refuse(why, nwhy, "bad size %s (a number of pixels from 1 to %d)", size, (int)MAXSIDE);
    return 1;
}

// One run's front end. The prompt table holds plain functions, so the run's
// options and streams sit here for the length of the run.
namespace {
struct batchrun {
    const batchoptions* o;
    FILE* out;            // check-only reports
    FILE* err;            // every other box, the progress line
    int tty;              // err is a terminal: titles make a progress line
    char title[128];      // the stage on the progress line
    int percent;          // how far it has come, -1 when not told
    int shown;            // characters of the progress line on the screen
    int sizeasked;        // times the size question came
    int kept;             // an existing map file was not replaced
    int unexpected;       // a question the options do not answer
    int finished;         // the run reached its "finished" title
};
batchrun R;

void clearline()
{
    if (!R.shown) return;
    std::fprintf(R.err, "\r%*s\r", R.shown, "");
    std::fflush(R.err);
    R.shown = 0;
}

void drawline()
{
    char s[160];
    int k = R.percent >= 0 ? std::snprintf(s, sizeof s, "%s %d%%", R.title, R.percent)
                           : std::snprintf(s, sizeof s, "%s", R.title);
    if (k >= (int)sizeof s) k = (int)sizeof s - 1;
    // Spaces wipe what a longer line left behind.
    std::fprintf(R.err, "\r%s%*s", s, R.shown > k ? R.shown - k : 0, "");
    std::fflush(R.err);
    R.shown = k;
}

void printline(FILE* f, const char* fmt, ...)
{
    clearline();
    va_list a;
    va_start(a, fmt);
    std::vfprintf(f, fmt, a);
    va_end(a);
    std::fputc('\n', f);
    std::fflush(f);
}

void unexpected(const char* what, const char* q)
{
    R.unexpected = 1;
    printline(R.err, "uvpaint: the run asked a %s that the options do not answer: %s", what, q);
}

void batchbox(window, message id, const char* text, const char* title, int, int)
{
    int checkonly = !R.o->out;
    if (checkonly && id == MSG_NOTBMP) return;  // no --out asks for exactly this
    FILE* f = checkonly && (id == MSG_FIGUREONLY || id == MSG_MESHONLY) ? R.out : R.err;
    if (*title) printline(f, "%s: %s", title, text);
    else printline(f, "%s", text);
}

int batchyesno(question q, const char* text)
{
    switch (q) {
    case Q_SEPARATE: return R.o->separate;
    case Q_SENSE: return R.o->blacktransparent;
    case Q_INVERT: return R.o->invert;
    default: unexpected("question", text); return 0;
    }
}

int batchyesnocancel(question q, const char* text)
{
    if (q != Q_KIND) {
        unexpected("question", text);
        return ANSWER_CANCEL;
    }
    return R.o->kind == MAP_COLOURED ? ANSWER_YES : R.o->kind == MAP_MESH ? ANSWER_NO : ANSWER_CANCEL;
}

int choose(char* file, const char* name)
{
    if (!name) return 0;
    std::snprintf(file, PATHSIZE, "%s", name);  // as given: Linux names keep their case
    return 1;
}

int batchfilename(window, question q, char* file, const char* t, const char*, int)
{
    switch (q) {
    case Q_MESH: return choose(file, R.o->obj);
    case Q_OUTPUT: return choose(file, R.o->out);
    case Q_FIGURE: return choose(file, R.o->cr2);
    case Q_EXISTS:
        if (R.o->overwrite) return 1;  // the same name: replace it
        // Asked again before each map of a --separate run; one line says it.
        if (!R.kept) printline(R.err, "uvpaint: %s exists and was not replaced (--overwrite replaces it)", file);
        R.kept = 1;
        return 0;
    default: unexpected("file name", t); return 0;
    }
}

int batchgetstr(window, question q, const char* prompt, char* answer, int size)
{
    if (q != Q_SIZE) {
        unexpected("value", prompt);
        return 0;
    }
    if (R.sizeasked++) {
        // The size was checked against the same bounds before the run; asking
        // again would repeat forever without a person to answer.
        printline(R.err, "uvpaint: the run refused the size %d", R.o->size);
        return 0;
    }
    std::snprintf(answer, (size_t)size, "%d", R.o->size);
    return 1;
}

void batchtitle(window, stage id, const char* s)
{
    if (id == STAGE_FINISHED) R.finished = 1;
    std::snprintf(R.title, sizeof R.title, "%s", s);
    R.percent = -1;
    if (R.tty) drawline();
}

void batchprogress(window, int percent)
{
    if (!R.tty || percent == R.percent) return;
    R.percent = percent;
    drawline();
}

const promptops batchops = {batchbox, batchyesno, batchyesnocancel, batchfilename,
                            batchgetstr, batchtitle, batchprogress};
}  // namespace

int runbatch(int argc, char** argv, FILE* out, FILE* err)
{
    batchoptions o;
    char why[PATHSIZE + 128];
    if (!parsebatch(argc, argv, &o, why, (int)sizeof why)) {
        std::fprintf(err, "uvpaint: %s\n", why);
        batchusage(err);
        return 2;
    }
    if (o.help) {
        batchusage(out);
        std::fprintf(out, "\n%s\n\n%s", helptext, OPTIONTEXT);
        return 0;
    }
    if (o.version) {
        std::fprintf(out, "uvpaint %s\n", UVPAINT_VERSION);
        return 0;
    }

    R = batchrun();
    R.o = &o;
    R.out = out;
    R.err = err;
    R.tty = isatty(fileno(err));
    R.percent = -1;
    const promptops* before = currentprompts();
    setprompts(&batchops);
    jobreport rep = {};
    jobsession S = {};
    bool done = maketexmap(nullptr, &S, &rep);
    setprompts(before);
    clearline();
    std::fflush(out);

    if (!done || !rep.cleanup || R.unexpected) return 2;
    if (rep.checkonly) return !R.finished ? 2 : rep.unpaired ? 1 : 0;
    return rep.maps > 0 && rep.written == rep.maps ? 0 : 2;
}

int runbatch(int argc, char** argv) { return runbatch(argc, argv, stdout, stderr); }
