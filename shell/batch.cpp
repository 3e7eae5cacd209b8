// The batch command line: the options read, and a front end that answers
// each of the run's questions from them and prints each of its boxes.
#include "shell/batch.h"

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "job/job.h"
#include "job/uvcheck.h"
#include "port/prompts.h"
#include "raster/image.h"

namespace {

const char OPTIONTEXT[] =
    "  -o, --out MAP       the map to write: MAP.bmp (24-bit BMP), MAP.png (PNG) or,\n"
    "                      for a mesh map, MAP.svg (outlines that scale to any\n"
    "                      size); without it only the material names of the\n"
    "                      mesh and the figure are compared\n"
    "      --obj MESH.obj  the mesh, with texture coordinates (or give its name\n"
    "                      alone); compressed meshes (.obz, .gz) are read too,\n"
    "                      and - reads it from standard input\n"
    "  -c, --cr2 FIGURE    the Poser figure (.cr2, .crz) or material file (.mc6,\n"
    "                      .mt5, .pz2 ...) whose materials give KdColor or tMax\n"
    "      --mtl LIB.mtl   a material library whose Kd, d and Tr give the colours;\n"
    "                      without --cr2 and --mtl, colored and transparency maps\n"
    "                      use the libraries the mesh names (mtllib)\n"
    "  -k, --kind KIND     colored (default with a figure), mesh (default without),\n"
    "                      transparency, or check (the UV check as a picture:\n"
    "                      overlaps red, flipped faces blue, stray faces orange,\n"
    "                      degenerate faces marked yellow)\n"
    "      --separate      one map per material, named MAP_material.bmp (a file\n"
    "                      of that name is replaced; a name that another map\n"
    "                      has, in either case, gets _2, _3 ...)\n"
    "      --black-transparent  transparency maps: black = transparent, white =\n"
    "                      opaque\n"
    "      --invert        turn the map upside down, so that v = 0 is the bottom\n"
    "                      row as Blender, Maya, Substance, Mari and game engines\n"
    "                      expect; without it v = 0 is the top row, as Poser and\n"
    "                      older paint tools place it\n"
    "  -s, --size N        width and height in pixels, 1 to 32768 (default 640)\n"
    "      --overwrite     replace an existing MAP (with --separate too, where\n"
    "                      MAP itself is not written)\n"
    "      --alpha         PNG maps: unpainted pixels transparent\n"
    "      --tiles         one map per UDIM tile that holds faces, MAP.1001.png,\n"
    "                      MAP.1002.png ... (tile 1001 is u and v in 0..1)\n"
    "      --report[=text|json]  the UV check: overlaps, flipped, degenerate and\n"
    "                      stray faces, islands, coverage and texel density, on\n"
    "                      standard output; exit status 1 when it finds anything\n"
    "      --allow KINDS   with --report: kinds of finding to accept, as\n"
    "                      overlaps,flipped,degenerate,stray\n"
    "  -q, --quiet         print errors only\n"
    "  -h, --help          print this help\n"
    "  -V, --version       print the version\n"
    "exit status: 0 done, 1 names found on one side only, no material paired, or\n"
    "findings of --report; 2 refused or failed\n";

int refuse(char* why, int nwhy, const char* fmt, ...)
{
    va_list a;
    va_start(a, fmt);
    std::vsnprintf(why, (size_t)nwhy, fmt, a);
    va_end(a);
    return 0;
}

void warnoption(batchoptions* o, const char* fmt, ...)
{
    if (o->nwarnings == MAXWARNINGS) return;
    va_list a;
    va_start(a, fmt);
    std::vsnprintf(o->warning[o->nwarnings++], WARNINGSIZE, fmt, a);
    va_end(a);
}

enum {  // the options without a short form
    OPT_OBJ = 256,
    OPT_MTL,
    OPT_SEPARATE,
    OPT_BLACK,
    OPT_INVERT,
    OPT_OVERWRITE,
    OPT_ALPHA,
    OPT_TILES,
    OPT_REPORT,
    OPT_ALLOW,
};

const option LONGOPTS[] = {
    {"obj", required_argument, nullptr, OPT_OBJ},
    {"cr2", required_argument, nullptr, 'c'},
    {"mtl", required_argument, nullptr, OPT_MTL},
    {"out", required_argument, nullptr, 'o'},
    {"kind", required_argument, nullptr, 'k'},
    {"size", required_argument, nullptr, 's'},
    {"separate", no_argument, nullptr, OPT_SEPARATE},
    {"black-transparent", no_argument, nullptr, OPT_BLACK},
    {"invert", no_argument, nullptr, OPT_INVERT},
    {"overwrite", no_argument, nullptr, OPT_OVERWRITE},
    {"alpha", no_argument, nullptr, OPT_ALPHA},
    {"tiles", no_argument, nullptr, OPT_TILES},
    {"report", optional_argument, nullptr, OPT_REPORT},
    {"allow", required_argument, nullptr, OPT_ALLOW},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
const char SHORTOPTS[] = ":o:c:k:s:qhV";

// The long name of option c, as messages name it.
const char* nameof(int c)
{
    for (const option* l = LONGOPTS; l->name; l++)
        if (l->val == c) return l->name;
    return "?";
}

const char* kindname(mapkind k)
{
    return k == MAP_COLOURED ? "colored" : k == MAP_MESH ? "mesh" : k == MAP_TRANSPARENCY ? "transparency" : "check";
}

// The options that do nothing in the run asked for, each said once.
void nothingdone(batchoptions* o, bool kindgiven, bool sizegiven)
{
    const bool maps = o->out != nullptr;
    const char* run = maps ? nullptr : o->report ? "with --report alone" : "when only names are checked";
    if (!maps) {
        if (kindgiven && o->report) warnoption(o, "--kind has no effect %s (no --out)", run);
        if (o->separate) warnoption(o, "--separate has no effect %s (no --out)", run);
        if (o->invert) warnoption(o, "--invert has no effect %s (no --out)", run);
        if (sizegiven && !o->report) warnoption(o, "--size has no effect %s (no --out)", run);
        if (o->overwrite) warnoption(o, "--overwrite has no effect %s (no --out)", run);
        if (o->alpha) warnoption(o, "--alpha has no effect %s (no --out)", run);
        if (o->tiles) warnoption(o, "--tiles has no effect %s (no --out)", run);
    }
    if (o->blacktransparent && !(maps && o->kind == MAP_TRANSPARENCY))
        warnoption(o, "--black-transparent has no effect %s%s",
                   maps ? "on a " : run, maps ? (std::string(kindname(o->kind)) + " map").c_str() : "");
    if (maps && (o->kind == MAP_MESH || o->kind == MAP_CHECK)) {
        if (o->cr2) warnoption(o, "--cr2 has no effect on a %s map", kindname(o->kind));
        if (o->mtl) warnoption(o, "--mtl has no effect on a %s map", kindname(o->kind));
    }
    if (o->alpha && maps && !hasext(o->out, ".png")) warnoption(o, "--alpha has no effect on a map that is no .png");
    if (o->allow && !o->report) warnoption(o, "--allow has no effect without --report");
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
    std::fputs("usage: uvpaint --obj MESH.obj [--cr2 FIGURE.cr2 | --mtl LIB.mtl] [--out MAP.bmp]\n"
               "               [--kind colored|mesh|transparency|check] [--separate]\n"
               "               [--black-transparent] [--invert] [--size N] [--overwrite]\n"
               "               [--alpha] [--tiles] [--report[=text|json]] [--allow KINDS] [--quiet]\n"
               "       uvpaint MESH.obj -o MAP.png [OPTION...]\n"
               "       uvpaint --help | --version\n",
               f);
}

void batchhelp(FILE* f)
{
    batchusage(f);
    std::fprintf(f, "\n%s\n\n%s", helptext, OPTIONTEXT);
}

int batchsize(const char* s)
{
    if (!*s || std::strlen(s) > 5) return 0;
    long v = 0;
    for (const char* p = s; *p; p++) {
        if (*p < '0' || *p > '9') return 0;
        v = v * 10 + (*p - '0');
    }
    return v >= 1 && v <= MAXSIDE ? (int)v : 0;
}

int parsebatch(int argc, char** argv, batchoptions* o, char* why, int nwhy)
{
    *o = batchoptions();
    const char* kind = nullptr;
    const char* size = nullptr;
    const char* report = nullptr;
    bool reported = false;
    opterr = 0;  // the messages are ours
    optind = 0;  // a fresh scan, whatever an earlier one left
    for (;;) {
        int c = getopt_long(argc, argv, SHORTOPTS, LONGOPTS, nullptr);
        if (c == -1) break;
        const char* a = argv[optind - 1];
        if (c == '?') {
            if (optopt && (a[0] != '-' || a[1] != '-')) return refuse(why, nwhy, "unknown option -%c", optopt);
            return refuse(why, nwhy, "unknown option %s", a);
        }
        if (c == ':') {
            if (a[0] == '-' && a[1] == '-') return refuse(why, nwhy, "%.*s needs a value", (int)std::strcspn(a, "="), a);
            return refuse(why, nwhy, "-%c needs a value", optopt);
        }
        if (c == 'h') { o->help = 1; return 1; }
        if (c == 'V') { o->version = 1; return 1; }
        const char* name = nameof(c);
        int* flag = c == OPT_SEPARATE   ? &o->separate
                    : c == OPT_BLACK     ? &o->blacktransparent
                    : c == OPT_INVERT    ? &o->invert
                    : c == OPT_OVERWRITE ? &o->overwrite
                    : c == OPT_ALPHA     ? &o->alpha
                    : c == OPT_TILES     ? &o->tiles
                    : c == 'q'           ? &o->quiet
                                         : nullptr;
        if (flag) {
            if (*flag) return refuse(why, nwhy, "--%s given twice", name);
            *flag = 1;
            continue;
        }
        if (c == OPT_REPORT) {
            if (reported) return refuse(why, nwhy, "--report given twice");
            reported = true;
            report = optarg;
            continue;
        }
        const char** value = c == OPT_OBJ   ? &o->obj
                             : c == 'c'     ? &o->cr2
                             : c == OPT_MTL ? &o->mtl
                             : c == 'o'     ? &o->out
                             : c == 'k'     ? &kind
                             : c == 's'     ? &size
                                            : &o->allow;
        if (*value) return refuse(why, nwhy, "--%s given twice", name);
        if (!*optarg) return refuse(why, nwhy, "--%s needs a value", name);
        // The run keeps names in PATHSIZE buffers, NUL included.
        if (std::strlen(optarg) > PATHSIZE - 1)
            return refuse(why, nwhy, "the value of --%s is longer than %d characters", name, PATHSIZE - 1);
        *value = optarg;
    }
    // The one name that is no option is the mesh.
    for (int i = optind; i < argc; i++) {
        if (o->obj || !*argv[i]) return refuse(why, nwhy, "unexpected argument %s", argv[i]);
        if (std::strlen(argv[i]) > PATHSIZE - 1)
            return refuse(why, nwhy, "the value of --obj is longer than %d characters", PATHSIZE - 1);
        o->obj = argv[i];
    }
    if (!o->obj) return refuse(why, nwhy, "no mesh given (--obj MESH.obj)");
    if (!kind) o->kind = o->cr2 || o->mtl ? MAP_COLOURED : MAP_MESH;
    else if (!std::strcmp(kind, "colored")) o->kind = MAP_COLOURED;
    else if (!std::strcmp(kind, "mesh")) o->kind = MAP_MESH;
    else if (!std::strcmp(kind, "transparency")) o->kind = MAP_TRANSPARENCY;
    else if (!std::strcmp(kind, "check")) o->kind = MAP_CHECK;
    else return refuse(why, nwhy, "unknown kind %s (colored, mesh, transparency or check)", kind);
    if (o->out) {
        const bool svg = hasext(o->out, ".svg");
        if (std::strlen(o->out) < 5 || !(hasext(o->out, ".bmp") || hasext(o->out, ".png") || svg))
            return refuse(why, nwhy, "--out %s: the map's name must end in .bmp, .png or .svg", o->out);
        if (svg && o->kind != MAP_MESH)
            return refuse(why, nwhy, "--out %s: an .svg map holds outlines: it needs --kind mesh", o->out);
    }
    if (o->cr2 && o->mtl) return refuse(why, nwhy, "--cr2 and --mtl both give the colours: give one");
    if (!report) o->report = reported ? REPORT_TEXT : REPORT_NONE;
    else if (!std::strcmp(report, "text")) o->report = REPORT_TEXT;
    else if (!std::strcmp(report, "json")) o->report = REPORT_JSON;
    else return refuse(why, nwhy, "unknown report format %s (text or json)", report);
    char msg[256];
    if (o->allow && !parsekinds(o->allow, &o->allowed, msg, (int)sizeof msg))
        return refuse(why, nwhy, "--allow %s: %s", o->allow, msg);
    if (!o->cr2 && !o->mtl && !o->out && !o->report)
        return refuse(why, nwhy, "checking material names (no --out) needs --cr2 or --mtl");
    o->size = size ? batchsize(size) : 640;
    if (!o->size) return refuse(why, nwhy, "bad size %s (a number of pixels from 1 to %d)", size, (int)MAXSIDE);
    nothingdone(o, kind != nullptr, size != nullptr);
    return 1;
}

// One run's front end. The prompt table holds plain functions, so the run's
// options and streams sit here for the length of the run.
namespace {
struct batchrun {
    const batchoptions* o;
    FILE* out;            // check-only reports, files written
    FILE* err;            // every other box, the progress line
    int tty;              // err is a terminal: titles make a progress line
    char title[128];      // the stage on the progress line
    int percent;          // how far it has come, -1 when not told
    int shown;            // characters of the progress line on the screen
    int sizeasked;        // times the size question came
    int kept;             // an existing map file was not replaced
    int unexpected;       // a question the options do not answer
    int finished;         // the run reached its "finished" title
    char failed[PATHSIZE];  // the file of the last box about a file
    int lost;             // errno of a report line that could not be written; 0 for none
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

// One line to f; false, with errno, when it could not be written. A
// message that is lost is lost: the run goes on (SIGPIPE is ignored).
bool printline(FILE* f, const char* fmt, ...)
{
    clearline();
    va_list a;
    va_start(a, fmt);
    bool ok = std::vfprintf(f, fmt, a) >= 0;
    va_end(a);
    ok = ok && std::fputc('\n', f) != EOF;
    return std::fflush(f) == 0 && ok;
}

// A line of the report a check writes on standard output; its loss makes
// the run fail.
template <class... Args>
void reportline(const char* fmt, Args... args)
{
    if (!printline(R.out, fmt, args...) && !R.lost) R.lost = errno ? errno : EIO;
}

// Whatever went to out reached it; else says so on err, when it can.
bool written(FILE* out, FILE* err, const char* what)
{
    if (std::fflush(out) == 0 && !std::ferror(out)) return true;
    std::fprintf(err, "uvpaint: standard output: I can't write %s (%s)\n", what, std::strerror(errno ? errno : EIO));
    return false;
}

void unexpected(const char* what, const char* q)
{
    R.unexpected = 1;
    printline(R.err, "uvpaint: the run asked a %s that the options do not answer: %s", what, q);
}

void batchbox(window, message id, const char* text, const char* title, int icon, const char* file, int err)
{
    const bool checkonly = !R.o->out;
    if (checkonly && id == MSG_NOTBMP) return;  // no --out asks for exactly this
    if (id == MSG_FILE && file) {
        // One form for every file: the program, the file, what failed, why.
        const char* what = std::strcmp(text, file) ? text : title;
        if (err) printline(R.err, "uvpaint: %s: %s (%s)", file, what, std::strerror(err));
        else printline(R.err, "uvpaint: %s: %s", file, what);
        std::snprintf(R.failed, sizeof R.failed, "%s", file);
        return;
    }
    // The mesh that could not be opened was said to be so: once is enough.
    if (id == MSG_BADMESH && R.failed[0] && !std::strcmp(text, R.failed)) return;
    const bool names = id == MSG_FIGUREONLY || id == MSG_MESHONLY;
    // Quiet: what only informs (boxes without a warning's icon) and, when
    // maps are made, the name reports go.
    if (R.o->quiet && (icon == ICON_NONE || (names && !checkonly))) return;
    if (checkonly && names) reportline("%s: %s", title, text);
    else if (*title) printline(R.err, "%s: %s", title, text);
    else printline(R.err, "%s", text);
}

void batchnote(note id, const char* text)
{
    if (R.o->quiet) return;
    // With a report on standard output, the files go beside the messages.
    if (id == NOTE_WROTE) printline(R.o->report ? R.err : R.out, "%s", text);
    else if (id == NOTE_ALLPAIRED && !R.o->out) reportline("uvpaint: every material name pairs");
    else if (id == NOTE_NONEPAIRED)
        printline(R.err, "uvpaint: warning: no material of the mesh pairs with one of the figure: the map is black");
    else if (id == NOTE_BEYOND && R.o->out)
        printline(R.err, "uvpaint: %s %s beyond texture space 0..1, which the map does not show; --tiles paints "
                  "them as UDIM tiles", text, std::strcmp(text, "1") ? "faces reach" : "face reaches");
}

// The UV check's report on standard output; its loss makes the run fail.
void batchtext(window, const char*, const char* text)
{
    clearline();
    const size_t n = std::strlen(text);
    if ((std::fwrite(text, 1, n, R.out) != n || std::fflush(R.out) != 0) && !R.lost) R.lost = errno ? errno : EIO;
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
    case Q_FIGURE: return choose(file, R.o->cr2 ? R.o->cr2 : R.o->mtl);
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

const promptops batchops = {batchbox,   batchyesno,    batchyesnocancel, batchfilename, batchgetstr,
                            batchtitle, batchprogress, batchnote,        batchtext};
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
        batchhelp(out);
        return written(out, err, "the help") ? 0 : 2;
    }
    if (o.version) {
        std::fprintf(out, "uvpaint %s\n", UVPAINT_VERSION);
        return written(out, err, "the version") ? 0 : 2;
    }
    if (!o.quiet)
        for (int i = 0; i < o.nwarnings; i++) std::fprintf(err, "uvpaint: warning: %s\n", o.warning[i]);

    R = batchrun();
    R.o = &o;
    R.out = out;
    R.err = err;
    R.tty = !o.quiet && isatty(fileno(err));
    R.percent = -1;
    const promptops* before = currentprompts();
    setprompts(&batchops);
    jobreport rep = {};
    jobsession S = {};
    joboptions opts = {};
    opts.alpha = o.alpha;
    opts.tiles = o.tiles;
    opts.check = o.kind == MAP_CHECK;
    opts.report = o.report;
    opts.reportonly = o.report && !o.out;
    opts.allow = o.allowed;
    opts.size = o.size;
    // Colours without a figure or library named come from the mesh's own.
    opts.meshlibraries = !o.cr2 && !o.mtl && (o.kind == MAP_COLOURED || o.kind == MAP_TRANSPARENCY);
    opts.figurelibrary = o.mtl != nullptr;
    bool done = maketexmap(nullptr, &S, &rep, &opts);
    setprompts(before);
    clearline();
    std::fflush(out);
    if (R.lost) {
        std::fprintf(err, "uvpaint: standard output: I can't write the report (%s)\n", std::strerror(R.lost));
        return 2;
    }

    if (!done || !rep.cleanup || R.unexpected) return 2;
    if (opts.reportonly) return !R.finished ? 2 : rep.findings;
    if (rep.checkonly) return !R.finished ? 2 : rep.unpaired ? 1 : 0;
    if (rep.maps == 0 || rep.written != rep.maps) return 2;
    return rep.paired == 0 || (o.report && rep.findings) ? 1 : 0;
}

int runbatch(int argc, char** argv) { return runbatch(argc, argv, stdout, stderr); }
