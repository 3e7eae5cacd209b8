// The run itself: its questions in their order, the reading of the figure
// and the mesh, the checks, and the loop that paints and writes each map.
#include "job/job.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "job/cr2.h"
#include "job/filters.h"
#include "job/finish.h"
#include "job/match.h"
#include "job/mtl.h"
#include "job/output.h"
#include "job/paint.h"
#include "job/state.h"
#include "job/tiles.h"
#include "job/uvcheck.h"
#include "port/bigmem.h"
#include "port/input.h"

const char helptext[] =
    "Make a texture map .BMP file for an .OBJ mesh file, either as mesh, or colored as stated in a "
    "Poser .CR2 file or a material library (.MTL), or transparency as stated in a Poser4 .CR2 file "
    "or a material library. Option to output each material's map on a separate file.";

namespace {

// The mesh name with its last four characters (its ".obj") made "tex.bmp";
// a name shorter than that gets "tex.bmp" added; ".obj.gz" goes whole.
void proposeoutput(char* out, const char* name)
{
    size_t len = std::strlen(name);
    size_t keep = hasext(name, ".obj.gz") ? len - 7 : len >= 4 ? len - 4 : len;
    std::snprintf(out, PATHSIZE, "%.*stex.bmp", (int)keep, name);
}

// The map size, asked until it lies in 1..MAXSIDE; 0 when the front end has
// no answer to give.
int asksize(window wn)
{
    for (;;) {
        double v;
        if (!ask(wn, Q_SIZE, "640", &v)) return 0;
        if (v >= 1 && v < MAXSIDE + 1.0) return (int)v;
        warn(wn, "the size must be a number from 1 to 32768", questiontext(Q_SIZE));
    }
}

// The kind question's answer as a map kind.
mapkind kindof(int answer)
{
    return answer == ANSWER_YES ? MAP_COLOURED : answer == ANSWER_NO ? MAP_MESH : MAP_TRANSPARENCY;
}

// A failure after which the run goes to its clean-up: warns, returns true.
bool tocleanup(window owner, const char* text, const char* title, message id = MSG_OTHER)
{
    warn(owner, text, title, id);
    return true;
}

// Shows what a reader or writer gave back.
void showfailure(window owner, const failure& why)
{
    if (why.file[0]) warnfile(owner, why.text, why.title, why.file, why.err);
    else warn(owner, why.text, why.title);
}

// Paints map M (of tile T->tile) into J: cleared, painted, finished and
// turned; false when its pixels cannot be had (warned).
bool paintmap(TextureJob* T)
{
    if (!T->J.P && !setupmap(T)) return warn(nullptr, "out of memory", "");
    clearmap(T);
    if (T->colmap == MAP_MESH) {
        paintoutline(T);
    } else if (T->colmap == MAP_CHECK) {
        SetTitle(T->wn, STAGE_PAINT);
        const int tile = T->tile < 0 ? FIRSTTILE : tilenumber(T->tile);
        if (!paintcheck(&T->J, T->used, T->OB, T->n, T->check, T->nmat > 1 ? T->M : -1, tile))
            return warn(nullptr, "out of memory", "");
    } else {
        paintfilled(T);
        SetTitle(T->wn, STAGE_MARGIN);
        addmargin(&T->J, T->used, T->n, T->work);
        SetTitle(T->wn, STAGE_EDGES);
        addwhiteedges(&T->J, T->used, T->n, T->work);
    }
    if (T->inv) {
        SetTitle(T->wn, STAGE_INVERT);
        invertmap(&T->J, T->n);
    }
    return true;
}

// Map M: paint, finish, name and write. 1 when written. An SVG map needs no
// bitmap, unless the existence question gives it another name.
int makemap(TextureJob* T)
{
    bool painted = formatof(T) != FORMAT_SVG && paintmap(T);
    SetTitle(T->wn, STAGE_FINISHED);
    if (!askexisting(T)) return 0;
    const mapformat f = formatof(T);
    if (f != FORMAT_SVG && !painted && !paintmap(T)) return 0;
    if (f == FORMAT_PNG && T->opt.alpha) makealpha(&T->J, T->used, T->n, T->inv);
    return writemap(T);
}

// Reads the material library file into T->list, after what it holds;
// false after the warning that ends the run.
bool readlibrary(TextureJob* T, const char* file)
{
    SetTitle(T->wn, STAGE_READLIBRARY);
    failure why;
    T->library = true;
    if (readMTL(&T->list, file, T->colmap == MAP_COLOURED ? KEY_KDCOLOR : KEY_TMAX, T->tb, &why)) return true;
    showfailure(nullptr, why);
    return false;
}

// Reads the libraries the mesh names, each once, beside the mesh (beside
// the current folder for a mesh that came through a pipe); false after the
// warning that ends the run.
bool readmeshlibraries(TextureJob* T)
{
    const mesh* m = T->OB;
    if (m->nlib == 0) {
        warn(nullptr, "this mesh names no material library (no mtllib line)", T->file);
        return false;
    }
    const char* folder = isstream(T->file) ? "" : T->file;
    for (const char* name = m->nextlib(nullptr); name; name = m->nextlib(name)) {
        // A library named again (as files joined together name theirs) is read once.
        const char* before = m->nextlib(nullptr);
        while (before != name && std::strcmp(before, name) != 0) before = m->nextlib(before);
        if (before != name) continue;
        char path[PATHSIZE];
        if (!besidefile(path, sizeof path, folder, name)) {
            warn(nullptr, "the name of this material library is too long", name);
            return false;
        }
        if (!readlibrary(T, path)) return false;
    }
    return true;
}

// Whether the mesh's name says what it is: an .OBJ file, compressed or not,
// or a stream that has no name to say it.
bool meshname(const char* file)
{
    return hasext(file, ".obj") || hasext(file, ".obz") || hasext(file, ".obj.gz") || isstream(file);
}

// The tiles (bit k for tile 1001 + k) that hold faces of map M; faces that
// reach beyond the tiles are counted in *beyond (their parts within are
// painted).
void tilesof(const TextureJob* T, unsigned char* tiles, int* beyond)
{
    std::memset(tiles, 0, NTILES);
    *beyond = 0;
    const mesh* m = T->OB;
    for (int i = 0; i < m->nf; i++) {
        const Face& f = m->fac[i];
        tilespan s;
        if (!onmap(T, f) || !facetiles(f, &s)) continue;
        *beyond += !intiles(s);
        for (int v = std::max(s.v0, 0); v <= std::min(s.v1, VTILES - 1); v++)
            for (int u = std::max(s.u0, 0); u <= std::min(s.u1, TILEROW - 1); u++) tiles[v * TILEROW + u] = 1;
    }
}

// Map M, or each of its tiles: 1 for each file written, noted when there
// are several.
int makemaps(TextureJob* T, unsigned char* tiles)
{
    if (!T->opt.tiles) {
        const int wrote = makemap(T);
        if (wrote && T->nmat > 1) Note(NOTE_WROTE, T->fn);
        return wrote;
    }
    int beyond, written = 0;
    tilesof(T, tiles, &beyond);
    for (int k = 0; k < NTILES && !T->nospace; k++) {
        if (!tiles[k]) continue;
        T->tile = k;
        T->tu = (float)(k % TILEROW);
        T->tv = (float)(k / TILEROW);
        const int wrote = makemap(T);
        if (wrote) Note(NOTE_WROTE, T->fn);
        written += wrote;
    }
    T->tile = -1;
    T->tu = T->tv = 0;
    return written;
}

// The faces that no map shows: beyond 0..1 without tiles (the batch command
// says how many), beyond the tiles with them (said to everyone).
void saybeyond(TextureJob* T, unsigned char* tiles)
{
    const mesh* m = T->OB;
    char text[160];
    if (!T->opt.tiles) {
        int n = 0;
        for (int i = 0; i < m->nf; i++) n += beyondunit(m->fac[i]);
        std::snprintf(text, sizeof text, "%d", n);
        if (n) Note(NOTE_BEYOND, text);
        return;
    }
    const int nmat = T->nmat, M = T->M;
    T->nmat = 1;  // every face
    int beyond;
    tilesof(T, tiles, &beyond);
    T->nmat = nmat;
    T->M = M;
    if (!beyond) return;
    std::snprintf(text, sizeof text, "%d %s beyond the UDIM tiles (u from 0 to 10, v from 0 to %d): no map shows what lies "
                  "beyond", beyond, beyond == 1 ? "face reaches" : "faces reach", VTILES);
    warn(nullptr, text, "");
}

// Where a report's bytes go: a text that grows.
struct textbuf {
    char* s;
    size_t len, cap;
};

int totext(void* ctx, const unsigned char* p, size_t n)
{
    textbuf* b = (textbuf*)ctx;
    if (b->len + n + 1 > b->cap) {
        size_t cap = b->cap ? b->cap : 4096;
        while (cap < b->len + n + 1) cap *= 2;
        char* s = (char*)std::realloc(b->s, cap);
        if (!s) return 0;
        b->s = s;
        b->cap = cap;
    }
    std::memcpy(b->s + b->len, p, n);
    b->len += n;
    b->s[b->len] = 0;
    return 1;
}

// The UV check of the mesh at the map's size, kept for the check picture,
// and its report shown when asked for; false after a warning that ends the
// run.
bool checkuv(TextureJob* T, jobreport* rep)
{
    if (T->check) freeuvreport(T->check);
    else T->check = (uvreport*)std::calloc(1, sizeof(uvreport));
    if (!T->check || !uvcheck(T->OB, T->n, T->check)) return !tocleanup(nullptr, "out of memory", "");
    rep->findings = uvstatus(T->check, T->opt.allow, T->nmat > 1);
    if (!T->opt.report) return true;
    uvlines(T->check, T->file);  // a file that cannot be read again lists no lines
    textbuf b = {nullptr, 0, 0};
    bytesink out = {&b, totext};
    const int ok = T->opt.report == REPORT_JSON ? writejsonreport(T->check, T->OB, T->file, &out)
                                                : writetextreport(T->check, T->OB, T->file, &out);
    if (ok) TextBox(T->wn, "UV check", b.s);
    std::free(b.s);
    return ok || !tocleanup(nullptr, "out of memory", "");
}

// Reads the mesh into T->OB; true when it passed its checks, false after
// the warnings that end the run.
bool readmesh(TextureJob* T)
{
    const window wn = T->wn;
    SetTitle(wn, STAGE_READMESH);
    T->OB = (mesh*)std::malloc(sizeof(mesh));
    if (!T->OB) return !tocleanup(nullptr, "out of memory", "");
    T->OB->initialize(0);
    failure why;
    int read = T->OB->readOBJ(T->file, &why);
    // A good mesh too big for the memory is no bad mesh.
    if (!read && why.err == ENOMEM) return !tocleanup(nullptr, "out of memory", "");
    if (!read && why.title[0]) showfailure(nullptr, why);
    if (!read || T->OB->nf == 0 || T->OB->np == 0)
        return !tocleanup(wn, T->file, "bad mesh, or this file ain't a mesh file", MSG_BADMESH);
    if (T->OB->nt == 0) return !tocleanup(wn, T->file, "this mesh contains no `vt' lines");
    return true;
}

// The run after the mesh question; true when it reached its clean-up.
bool run(TextureJob* T, jobreport* rep)
{
    const window wn = T->wn;
    if (!meshname(T->file)) warn(wn, T->file, "this is not an .OBJ file");
    if (T->opt.reportonly) {  // the mesh and its report, no map
        T->n = T->opt.size;
        if (!readmesh(T) || !checkuv(T, rep)) return true;
        SetTitle(wn, STAGE_FINISHED);
        return true;
    }

    proposeoutput(T->out, T->file);
    int chosen = GetFileName(wn, Q_OUTPUT, T->out, filterMAP, 1);
    const bool accepted = chosen && std::strlen(T->out) >= 5 &&
                          (hasext(T->out, ".bmp") || hasext(T->out, ".png") || hasext(T->out, ".svg"));
    if (accepted && reservedname(T->out)) {
        // Said before the questions: the run would end in writing nothing.
        warnfile(nullptr, T->out, devicetitle, T->out, 0);
        return false;
    }
    if (accepted) T->colmap = T->opt.check ? MAP_CHECK : kindof(yesnocancel(Q_KIND));
    // An .svg file holds outlines: a name that asks for one makes a check
    // of any other map, as a name the run cannot write does.
    if (!accepted || (hasext(T->out, ".svg") && T->colmap != MAP_MESH)) {
        warn(nullptr, T->out, "this is not a .bmp filename", MSG_NOTBMP);
        T->out[0] = 0;
        T->colmap = MAP_COLOURED;
        rep->checkonly = 1;
    } else {
        T->sepm = (unsigned char)yesno(Q_SEPARATE);
        if (T->sepm)
            messagebox(nullptr, MSG_OTHER,
                       "Each file's name will be the name that you specified with the name of the "
                       "material appended",
                       "", ICON_NONE);
        if (T->colmap == MAP_TRANSPARENCY) T->tb = (unsigned char)yesno(Q_SENSE);
    }

    const bool colours = T->colmap != MAP_MESH && T->colmap != MAP_CHECK;
    if (colours && !T->opt.meshlibraries) {
        T->cr2[0] = 0;
        if (!GetFileName(wn, Q_FIGURE, T->cr2, filterCR2, 0)) return false;
        if (T->opt.figurelibrary || islibraryname(T->cr2)) {
            if (!readlibrary(T, T->cr2)) return false;
        } else {
            int got = readCR2(wn, &T->list, T->cr2, T->colmap == MAP_COLOURED ? KEY_KDCOLOR : KEY_TMAX, T->tb);
            if (got == CR2_STOPPED) return false;
            if (got == CR2_TOOMANY) return true;
        }
    }

    bool checkonly = T->out[0] == 0;
    T->inv = 0;
    T->n = 16;
    if (!checkonly) {
        T->inv = (unsigned char)yesno(Q_INVERT);
        T->n = asksize(wn);
        if (!T->n) return false;
    }

    // An SVG map needs no bitmap: its pixels are had only if the existence
    // question turns it into another kind of file.
    const bool bitmap = checkonly || formatof(T) != FORMAT_SVG;
    if (bitmap && !(T->used = (unsigned char*)bigmem_alloc((size_t)T->n * (size_t)T->n)))
        return tocleanup(nullptr, "out of memory", "");
    if (!readmesh(T)) return true;
    if (colours && T->opt.meshlibraries && !readmeshlibraries(T)) return false;

    if (bitmap && !setupmap(T)) return tocleanup(nullptr, "out of memory", "");
    const bool filled = T->colmap == MAP_COLOURED || T->colmap == MAP_TRANSPARENCY;
    if (!checkonly && filled && !(T->work = std::malloc(finishworksize(T->n))))
        return tocleanup(nullptr, "out of memory", "");
    if (T->sepm && T->OB->nmat > 1) T->nmat = T->OB->nmat;
    if ((T->opt.report || T->colmap == MAP_CHECK) && !checkuv(T, rep)) return true;

    if (filled) {
        rep->unpaired = matchmaterials(wn, T->OB, &T->list, T->library ? ".MTL file" : ".CR2 file");
        rep->paired = 0;
        for (int i = 0; i < T->OB->nmat; i++) rep->paired += T->OB->mat[i].cf;
        if (rep->unpaired == 0) Note(NOTE_ALLPAIRED, "");
        else if (rep->paired == 0 && !checkonly) Note(NOTE_NONEPAIRED, "");
    }
    if (checkonly) {
        SetTitle(wn, STAGE_FINISHED);
        return true;
    }
    if (T->nmat > 1 && !nameparts(T)) return tocleanup(nullptr, "out of memory", "");
    unsigned char* tiles = T->opt.tiles ? (unsigned char*)std::malloc(NTILES) : nullptr;
    if (T->opt.tiles && !tiles) return tocleanup(nullptr, "out of memory", "");
    saybeyond(T, tiles);
    rep->maps = 0;
    for (T->M = 0; T->M < T->nmat; T->M++) {
        if (T->opt.tiles) {  // each tile is a map of its own
            int beyond;
            tilesof(T, tiles, &beyond);
            for (int k = 0; k < NTILES; k++) rep->maps += tiles[k];
        } else {
            rep->maps++;
        }
    }
    for (T->M = 0; T->M < T->nmat; T->M++) {
        rep->written += makemaps(T, tiles);
        // A full disk takes every later map too: said once, with what was made.
        if (T->nospace && rep->maps > 1) {
            char text[96];
            std::snprintf(text, sizeof text, "the disk is full: %d of %d maps were written", rep->written, rep->maps);
            warn(nullptr, text, "", MSG_SPACE);
            break;
        }
    }
    std::free(tiles);
    return true;
}

// The check command after its mesh question: the mesh, its report, and
// the picture when a file is chosen for it. True when it reached its
// clean-up.
bool checkrun(TextureJob* T, jobreport* rep)
{
    const window wn = T->wn;
    T->n = 640;
    if (!readmesh(T)) return true;
    SetTitle(wn, STAGE_CHECK);
    if (!checkuv(T, rep)) return true;
    // The picture, as tex.png beside the mesh, unless the user cancels.
    const size_t len = std::strlen(T->file);
    std::snprintf(T->out, PATHSIZE, "%.*scheck.png", (int)(len >= 4 ? len - 4 : len), T->file);
    if (!GetFileName(wn, Q_CHECKPICTURE, T->out, filterMAP, 1)) return true;
    T->asked = true;  // the save dialog asks itself before a file is replaced
    if (!hasext(T->out, ".bmp") && !hasext(T->out, ".png")) {
        warn(nullptr, T->out, "this is not a .bmp or .png filename");
        return true;
    }
    const int n = asksize(wn);
    if (!n) return true;
    if (n != T->n) {  // counted again where the picture's pixels are
        T->n = n;
        T->opt.report = REPORT_NONE;
        if (!checkuv(T, rep)) return true;
    }
    if (!(T->used = (unsigned char*)bigmem_alloc((size_t)n * (size_t)n)) || !setupmap(T))
        return tocleanup(nullptr, "out of memory", "");
    if (!paintmap(T)) return true;
    SetTitle(wn, STAGE_FINISHED);
    rep->maps = 1;
    rep->written = writemap(T);
    return true;
}

}  // namespace

void startjob(TextureJob* T, window wn, const char* file)
{
    T->wn = wn;
    T->file = file;
    T->out[0] = T->cr2[0] = T->fn[0] = 0;
    T->colmap = MAP_COLOURED;
    T->sepm = T->tb = T->inv = 0;
    T->n = 0;
    T->nmat = 1;
    T->M = 0;
    T->OB = nullptr;
    T->J.reset(0, 0);
    T->used = nullptr;
    T->white = pal3(255, 255, 255);
    T->black = pal3(0, 0, 0);
    T->list = nomaterials();
    T->library = false;
    T->work = nullptr;
    T->parts = nullptr;
    T->nospace = false;
    T->asked = false;
    T->opt = joboptions();
    T->check = nullptr;
    T->tile = -1;
    T->tu = T->tv = 0;
}

namespace {
// One run of S: the mesh question, then body(T, report) on a record made
// for it with opts, then the clean-up (an early stop may hold the figure's
// materials). What body returns: whether the run reached its clean-up.
template <class F>
bool onerun(window wn, jobsession* S, jobreport* rep, const joboptions& opts, F body)
{
    if (S->running) return false;  // one run at a time
    S->running = true;
    jobreport r = {0, 0, 0, 0, 0, -1, 0};
    bool done = false;
    if (GetFileName(wn, Q_MESH, S->file, filterOBJ, 0)) {
        TextureJob T;
        startjob(&T, wn, S->file);
        T.opt = opts;
        done = body(&T, &r);
        cleanup(&T);
        r.cleanup = done;
    }
    if (rep) *rep = r;
    S->running = false;
    return done;
}
}  // namespace

bool checklayout(window wn, jobsession* S, jobreport* rep)
{
    joboptions opts = {};
    opts.check = true;
    opts.report = REPORT_TEXT;
    return onerun(wn, S, rep, opts, [](TextureJob* T, jobreport* r) {
        T->colmap = MAP_CHECK;
        return checkrun(T, r);
    });
}

bool maketexmap(window wn, jobsession* S, jobreport* rep, const joboptions* opts)
{
    return onerun(wn, S, rep, opts ? *opts : joboptions(), run);
}
