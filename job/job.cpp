#include "job/job.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "job/finish.h"
#include "job/match.h"
#include "job/output.h"
#include "job/paint.h"
#include "job/state.h"
#include "shell/bigmem.h"

char file[PATHSIZE];
mesh* OB;

namespace {

const char filterOBJ[] = "OBJ files\0*.OBJ\0";
const char filterCR2[] = "CR2 files\0*.CR2\0all files\0*.*\0";

bool running;

bool endswith(const char* s, const char* ext)  // ext lower case, 4 characters
{
    size_t len = std::strlen(s);
    if (len < 4) return false;
    for (int i = 0; i < 4; i++) {
        char c = s[len - 4 + i];
        if (c >= 'A' && c <= 'Z') c += 32;
        if (c != ext[i]) return false;
    }
    return true;
}

// The mesh name with its last four characters (its ".obj") made "tex.bmp";
// a name shorter than that gets "tex.bmp" added.
void proposeoutput(char* out, const char* name)
{
    size_t len = std::strlen(name);
    size_t keep = len >= 4 ? len - 4 : len;
    std::snprintf(out, PATHSIZE, "%.*stex.bmp", (int)keep, name);
}

// The map size, asked until it lies in 1..MAXSIDE.
int asksize(window wn)
{
    for (;;) {
        double v = ask(wn, "size of texture map?", "640");
        if (v >= 1 && v < MAXSIDE + 1.0) return (int)v;
        warn(wn, "the size must be a number from 1 to 32768", "size of texture map?");
    }
}

// A failure after which the run goes to its clean-up: warns, returns true.
bool tocleanup(window owner, const char* text, const char* title)
{
    warn(owner, text, title);
    return true;
}

// Map M: paint, finish, name and write. 1 when written.
int makemap(window wn, TextureJob* T)
{
    clearmap(T);
    if (T->colmap == MAP_MESH) {
        paintoutline(wn, T, OB);
    } else {
        paintfilled(wn, T, OB);
        SetTitle(wn, "adding margin");
        addmargin(&T->J, used, T->n, T->work);
        SetTitle(wn, "adding white edges");
        addwhiteedges(&T->J, used, T->n, T->work);
    }
    if (T->inv) {
        SetTitle(wn, "inverting texture map");
        invertmap(&T->J, T->n);
    }
    SetTitle(wn, "finished");
    return writemap(wn, T, OB);
}

// The run after the mesh question; true when it reached its clean-up.
bool run(window wn, TextureJob* T, jobreport* rep)
{
    if (!endswith(file, ".obj")) warn(wn, file, "this is not an .OBJ file");

    proposeoutput(T->out, file);
    int chosen = GetFileName(wn, T->out,
                             "file to output texture map to? (cancel = only check materials)",
                             filterBMP, 1);
    if (!chosen || std::strlen(T->out) < 5 || !endswith(T->out, ".bmp")) {
        warn(nullptr, T->out, "this is not a .bmp filename");
        T->out[0] = 0;
        T->colmap = MAP_COLOURED;
        rep->checkonly = 1;
    } else {
        T->colmap = (unsigned char)yesnocancel(
            "what sort of texture map do you want? "
            "(yes = colored, no = mesh, cancel = transparency)");
        T->sepm = (unsigned char)yesno(
            "do you want me to output a separate map file for each material?");
        if (T->sepm)
            messagebox(nullptr,
                       "Each file's name will be the name that you specified with the name of the "
                       "material appended",
                       "", ICON_NONE);
        if (T->colmap == MAP_TRANSPARENCY)
            T->tb = (unsigned char)yesno(
                "do you want black = transparent, white = opaque (YES); or "
                "white = transparent, black = opaque (NO)?");
    }

    if (T->colmap != MAP_MESH) {
        T->cr2[0] = 0;
        if (!GetFileName(wn, T->cr2, "CR2 file to read materials from", filterCR2, 0)) return false;
        int got = readCR2(wn, &T->list, T->cr2, T->colmap, T->tb);
        if (got == CR2_STOPPED) return false;
        if (got == CR2_TOOMANY) return true;
    }

    bool checkonly = T->out[0] == 0;
    T->inv = 0;
    T->n = 16;
    if (!checkonly) {
        T->inv = (unsigned char)yesno("Do you want me to output the texture map inverted top/bottom?");
        T->n = asksize(wn);
    }

    used = (unsigned char*)bigmem_alloc((size_t)T->n * (size_t)T->n);
    if (!used) return tocleanup(nullptr, "out of memory", "");
    SetTitle(wn, "reading .OBJ file");
    OB = (mesh*)std::malloc(sizeof(mesh));
    if (!OB) return tocleanup(nullptr, "out of memory", "");
    OB->initialize(0);
    int read = OB->readOBJ(file, 0);
    if (!read || OB->nf == 0 || OB->np == 0)
        return tocleanup(wn, file, "bad mesh, or this file ain't a mesh file");
    if (OB->nt == 0) return tocleanup(wn, file, "this mesh contains no `vt' lines");

    if (!setupmap(T)) return tocleanup(nullptr, "out of memory", "");
    if (!checkonly && T->colmap != MAP_MESH && !(T->work = std::malloc(finishworksize(T->n))))
        return tocleanup(nullptr, "out of memory", "");
    if (T->sepm && OB->nmat > 1) T->nmat = OB->nmat;

    if (T->colmap != MAP_MESH) rep->unpaired = matchmaterials(wn, OB, &T->list);
    if (checkonly) {
        SetTitle(wn, "finished");
        return true;
    }
    if (T->nmat > 1 && !nameparts(T, OB)) return tocleanup(nullptr, "out of memory", "");
    rep->maps = T->nmat;
    for (T->M = 0; T->M < T->nmat; T->M++) rep->written += makemap(wn, T);
    return true;
}

}  // namespace

void startjob(TextureJob* T)
{
    T->out[0] = T->cr2[0] = T->fn[0] = 0;
    T->colmap = MAP_COLOURED;
    T->sepm = T->tb = T->inv = 0;
    T->n = 0;
    T->nmat = 1;
    T->M = 0;
    T->J.reset(0, 0, 1, -1);
    T->white = pal3(255, 255, 255);
    T->black = pal3(0, 0, 0);
    T->list.mat = nullptr;
    T->list.matc = nullptr;
    T->list.nm = 0;
    T->work = nullptr;
    T->parts = nullptr;
    used = nullptr;
}

bool jobrunning() { return running; }

bool maketexmap(window wn, jobreport* rep)
{
    if (running) return false;  // one run at a time: the state is program-wide
    running = true;
    jobreport r = {0, 0, 0, 0, 0};
    bool done = false;
    if (GetFileName(wn, file, "file to read mesh from?", filterOBJ, 0)) {
        static TextureJob T;
        startjob(&T);
        done = run(wn, &T, &r);
        if (done) {
            cleanup(&T);
            r.cleanup = 1;
        }
    }
    if (rep) *rep = r;
    running = false;
    return done;
}
