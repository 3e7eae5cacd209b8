// The run itself: its questions in their order, the reading of the figure
// and the mesh, the checks, and the loop that paints and writes each map.
#include "job/job.h"

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

// Map M: paint, finish, name and write. 1 when written.
int makemap(TextureJob* T)
{
    clearmap(T);
    if (T->colmap == MAP_MESH) {
        paintoutline(T);
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
    SetTitle(T->wn, STAGE_FINISHED);
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
bool run(TextureJob* T, jobreport* rep, const joboptions& opts)
{
    const window wn = T->wn;
    if (!meshname(T->file)) warn(wn, T->file, "this is not an .OBJ file");

    proposeoutput(T->out, T->file);
    int chosen = GetFileName(wn, Q_OUTPUT, T->out, filterBMP, 1);
    if (!chosen || std::strlen(T->out) < 5 || !hasext(T->out, ".bmp")) {
        warn(nullptr, T->out, "this is not a .bmp filename", MSG_NOTBMP);
        T->out[0] = 0;
        T->colmap = MAP_COLOURED;
        rep->checkonly = 1;
    } else {
        T->colmap = kindof(yesnocancel(Q_KIND));
        T->sepm = (unsigned char)yesno(Q_SEPARATE);
        if (T->sepm)
            messagebox(nullptr, MSG_OTHER,
                       "Each file's name will be the name that you specified with the name of the "
                       "material appended",
                       "", ICON_NONE);
        if (T->colmap == MAP_TRANSPARENCY) T->tb = (unsigned char)yesno(Q_SENSE);
    }

    const bool colours = T->colmap != MAP_MESH;
    if (colours && !opts.meshlibraries) {
        T->cr2[0] = 0;
        if (!GetFileName(wn, Q_FIGURE, T->cr2, filterCR2, 0)) return false;
        if (opts.figurelibrary || islibraryname(T->cr2)) {
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

    T->used = (unsigned char*)bigmem_alloc((size_t)T->n * (size_t)T->n);
    if (!T->used) return tocleanup(nullptr, "out of memory", "");
    if (!readmesh(T)) return true;
    if (colours && opts.meshlibraries && !readmeshlibraries(T)) return false;

    if (!setupmap(T)) return tocleanup(nullptr, "out of memory", "");
    if (!checkonly && T->colmap != MAP_MESH && !(T->work = std::malloc(finishworksize(T->n))))
        return tocleanup(nullptr, "out of memory", "");
    if (T->sepm && T->OB->nmat > 1) T->nmat = T->OB->nmat;

    if (colours) {
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
    rep->maps = T->nmat;
    for (T->M = 0; T->M < T->nmat; T->M++) {
        const int wrote = makemap(T);
        rep->written += wrote;
        if (wrote && T->nmat > 1) Note(NOTE_WROTE, T->fn);
        // A full disk takes every later map too: said once, with what was made.
        if (T->nospace && T->nmat > 1) {
            char text[96];
            std::snprintf(text, sizeof text, "the disk is full: %d of %d maps were written", rep->written, T->nmat);
            warn(nullptr, text, "", MSG_SPACE);
            break;
        }
    }
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
}

bool maketexmap(window wn, jobsession* S, jobreport* rep, const joboptions* opts)
{
    const joboptions asked = opts ? *opts : joboptions{false, false};
    if (S->running) return false;  // one run at a time
    S->running = true;
    jobreport r = {0, 0, 0, 0, 0, -1};
    bool done = false;
    if (GetFileName(wn, Q_MESH, S->file, filterOBJ, 0)) {
        TextureJob T;
        startjob(&T, wn, S->file);
        done = run(&T, &r, asked);
        cleanup(&T);  // an early stop may hold the figure's materials
        r.cleanup = done;
    }
    if (rep) *rep = r;
    S->running = false;
    return done;
}
