#!/usr/bin/env python3
"""Runs uvpaint.exe under Wine in an Xvfb display and drives it as a person
would: menu mnemonics, typing into dialogs, Return and Escape. probe.exe reads
the boxes (title, text, owner, icon, buttons); maps are compared byte for byte
with the ones the Linux batch command makes from the same answers.

    winrun.py setup|teardown --prefix DIR
    winrun.py SCENARIO --exe EXE --probe PROBE --linux UVPAINT --samples DIR
                       --prefix DIR --work DIR [--shots DIR]

Exits 0 when the scenario passed, 1 with the reason when it did not.
"""
import argparse
import ctypes
import filecmp
import gzip
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "hostile"))
import fixtures  # noqa: E402  (the hostile suite's: names in many scripts)

SCENARIO_SECONDS = 150   # ctest's own timeout is longer, so clean-up still runs
WAIT_SECONDS = 30
SETTLE = 0.4             # a new dialog takes its focus a moment after it shows


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def diechild():
    """Lets Xvfb die with this script, even when ctest kills it."""
    ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def lowwin(path):
    """The name as the program holds it after a file dialog: A-Z lowered,
    every other letter as it was."""
    return "".join(c.lower() if "A" <= c <= "Z" else c for c in winpath(path))


class Session:
    """One Xvfb display, one wineserver and one uvpaint.exe."""

    def __init__(self, args, name):
        self.args = args
        self.name = name
        self.xvfb = None
        self.prog = None
        self.seen = set()
        # Wine takes Linux names in the locale's encoding: UTF-8 passes all.
        self.env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
        self.shots = args.shots

    # -- processes ----------------------------------------------------------
    def startx(self):
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=diechild)
        os.close(w)
        number = b""
        with os.fdopen(r, "rb") as f:
            while not number.endswith(b"\n"):
                c = f.read(1)
                if not c:
                    raise Failure("Xvfb did not start")
                number += c
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def wineserver(self, *flags):
        subprocess.run(["wineserver"] + list(flags), env=self.env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start(self):
        self.wineserver("-k")
        self.wineserver("-w")
        self.startx()
        # The wineserver and the desktop first, so the program starts into
        # a ready desktop.
        self.windows()
        # A file name alone, as when a mesh is dropped on the program, still
        # opens the window; only options run the batch command.
        dropped = [winpath(inputs(self.args)[0])] if self.name == "window_help_exit" else []
        self.prog = subprocess.Popen([self.args.wine, self.args.exe] + dropped, env=self.env, cwd=self.args.work,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.main = self.wait(lambda w: w["class"] == "UVPAINTR", "the main window")
        desktop = subprocess.run(["xdotool", "search", "--name", "Wine desktop"], env=self.env,
                                 capture_output=True, text=True).stdout.split()
        check(desktop, "no Wine desktop window")
        subprocess.run(["xdotool", "windowfocus", "--sync", desktop[0]], env=self.env, timeout=20)
        time.sleep(SETTLE)

    def stop(self):
        if self.prog and self.prog.poll() is None:
            self.prog.kill()
        try:
            self.wineserver("-k")
            self.wineserver("-w")
        finally:
            if self.xvfb:
                self.xvfb.terminate()
                self.xvfb.wait(10)

    def exitcode(self):
        try:
            return self.prog.wait(WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end; windows: %s" % self.titles())

    # -- looking ------------------------------------------------------------
    def windows(self):
        # Output through a file, not a pipe: a Wine service that the probe
        # happens to start inherits its standard output and would hold a
        # pipe open long after the probe is gone.
        with tempfile.TemporaryFile() as out:
            try:
                subprocess.run([self.args.wine, self.args.probe, "list"], env=self.env, timeout=30,
                               stdout=out, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                raise Failure("probe.exe does not answer")
            out.seek(0)
            lines = out.read().decode("utf-8", "replace").splitlines()
        return [json.loads(l) for l in lines if l.startswith("{")]

    def titles(self):
        return [(w["class"], w["title"]) for w in self.windows()]

    def wait(self, pred, what, seconds=WAIT_SECONDS):
        end = time.time() + seconds
        while time.time() < end:
            if self.prog.poll() is not None:
                raise Failure("the program ended (status %d) while waiting for %s"
                              % (self.prog.returncode, what))
            for w in self.windows():
                if pred(w):
                    return w
            time.sleep(0.2)
        raise Failure("no %s; windows: %s" % (what, self.titles()))

    def mainwin(self):
        for w in self.windows():
            if w["class"] == "UVPAINTR":
                return w
        return None

    def dialog(self, title, what=None):
        """Waits for a dialog not met before, titled title; asserts it is the
        first such: any other new dialog is a question out of order."""
        def new(w):
            return w["class"] == "#32770" and w["hwnd"] not in self.seen
        w = self.wait(new, what or "dialog %r" % title)
        check(w["title"] == title, "expected dialog %r, got %r (%s)"
              % (title, w["title"], text(w)))
        self.seen.add(w["hwnd"])
        time.sleep(SETTLE)
        return w

    def box(self, title, body, owner, icon=False, buttons=("OK",)):
        """A message box: its title, text, owner, icon and buttons."""
        w = self.dialog(title, "box %r / %r" % (title, body))
        check(text(w) == body, "box %r says %r, not %r" % (title, text(w), body))
        want = self.main["hwnd"] if owner else 0
        check(w["owner"] == want, "box %r owned by %d, not %d" % (title, w["owner"], want))
        check(hasicon(w) == icon, "box %r: icon %s, expected %s" % (title, hasicon(w), icon))
        got = tuple(c["text"].replace("&", "") for c in w["children"]
                    if c["class"] == "Button" and c["visible"])
        want_b = tuple(b.replace("&", "") for b in buttons)
        check(got == want_b, "box %r has buttons %s, not %s" % (title, got, want_b))
        return w

    def quiet(self, seconds=1.5):
        """Nothing new opens for a while and the program is still there."""
        time.sleep(seconds)
        check(self.prog.poll() is None, "the program ended")
        fresh = [(w["class"], w["title"]) for w in self.windows()
                 if w["class"] == "#32770" and w["hwnd"] not in self.seen]
        check(not fresh, "unexpected windows: %s" % fresh)
        m = self.mainwin()
        check(m is not None, "the main window is gone")
        return m

    # -- doing --------------------------------------------------------------
    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "60"] + list(keys), env=self.env, timeout=30)

    def type(self, s):
        subprocess.run(["xdotool", "type", "--delay", "30", s], env=self.env, timeout=60)

    def probe(self, *argv):
        subprocess.run([self.args.wine, self.args.probe] + [str(a) for a in argv], env=self.env,
                       timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def foreground(self):
        r = subprocess.run([self.args.wine, self.args.probe, "foreground"], env=self.env,
                           timeout=30, capture_output=True, text=True)
        return int(r.stdout.split()[0]) if r.stdout.split() else 0

    def filename(self, title, path, proposed=None):
        """Answers a file dialog: checks the proposed name, types path."""
        w = self.dialog(title)
        if proposed is not None:
            check(namefield(w) == proposed, "dialog %r proposes %r, not %r"
                  % (title, namefield(w), proposed))
        # xdotool types a letter outside the keyboard's map through a key
        # it maps for the moment, and now and then the first such letter is
        # lost: typed again, the field reads right.
        for attempt in range(3):
            self.key("End", "shift+Home")
            self.type(path)
            typed = namefield(self.current(w))
            if typed == path or path.isascii():
                break
        check(typed == path, "typed %r into %r but the field reads %r" % (path, title, typed))
        self.key("Return")

    def cancel(self, title, proposed=None):
        w = self.dialog(title)
        if proposed is not None:
            check(namefield(w) == proposed, "dialog %r proposes %r, not %r"
                  % (title, namefield(w), proposed))
        self.key("Escape")

    def current(self, w):
        for x in self.windows():
            if x["hwnd"] == w["hwnd"]:
                return x
        raise Failure("dialog %r went away" % w["title"])

    def question(self, q, answer, three=False, shot=None):
        """A yes/no (or yes/no/cancel) question: no owner, no title, no icon."""
        buttons = ("Yes", "No", "Cancel") if three else ("Yes", "No")
        self.box("", q, owner=False, buttons=buttons)
        if shot:
            self.shot(shot)
        self.key({"yes": "y", "no": "n", "cancel": "Escape"}[answer])

    def size(self, answer, proposed="640", cancel=False):
        """The input dialog: prompt, proposal, limit; types answer, then
        accepts with Return or cancels with Escape."""
        w = self.dialog("", "the size dialog")
        check(w["owner"] == self.main["hwnd"], "the size dialog is not owned by the main window")
        prompt = [c["text"] for c in w["children"] if c["id"] == 6]
        field = [c for c in w["children"] if c["id"] == 11]
        check(prompt == [SIZE_Q], "size dialog prompt %r" % prompt)
        check(field and field[0]["text"] == proposed, "size dialog proposes %r" % field)
        check(field[0].get("limit") == 127, "the answer field takes %r characters, not 127"
              % field[0].get("limit"))
        buttons = [(c["id"], c["text"]) for c in w["children"] if c["class"] == "Button"]
        check(buttons == [(1, "accept"), (2, "cancel")], "size dialog buttons %s" % buttons)
        self.shot("windows-input.png")
        self.key("End", "shift+Home")
        self.type(answer)
        self.key("Escape" if cancel else "Return")

    def ok(self):
        self.key("Return")

    def shot(self, name):
        if not self.shots:
            return
        os.makedirs(self.shots, exist_ok=True)
        subprocess.run(["/usr/bin/import", "-display", self.env["DISPLAY"], "-window", "root",
                        os.path.join(self.shots, name)], env=self.env, timeout=60, check=True)

    def closes(self):
        """The run reached its clean-up: the window closes, status 0."""
        code = self.exitcode()
        check(code == 0, "exit status %d, not 0" % code)


def text(w):
    """A message box's text: its static with id 0xFFFF."""
    for c in w["children"]:
        if c["id"] == 65535 and c["class"] == "Static":
            return c["text"]
    return None


def hasicon(w):
    return any(c["class"] == "Static" and c.get("icon") and c["visible"] for c in w["children"])


def namefield(w):
    """The file dialogs' name field."""
    for c in w["children"]:
        if c["class"] == "Edit" and c["id"] in (1148, 1152):
            return c["text"]
    raise Failure("dialog %r has no name field" % w["title"])


# -- the Linux side ---------------------------------------------------------
def batch(args, outdir, *options):
    os.makedirs(outdir, exist_ok=True)
    r = subprocess.run([args.linux] + list(options), cwd=outdir, capture_output=True,
                       text=True, timeout=120)
    check(r.returncode == 0, "the batch command %s failed (%d): %s"
          % (" ".join(options), r.returncode, r.stderr))


def samemaps(windir, linuxdir):
    """Both folders hold the same .bmp names, each pair byte-identical."""
    wins = sorted(f for f in os.listdir(windir) if f.endswith(".bmp"))
    lins = sorted(f for f in os.listdir(linuxdir) if f.endswith(".bmp"))
    check(wins, "the Windows program wrote no map")
    check(wins == lins, "maps differ in name: Windows %s, Linux %s" % (wins, lins))
    for f in wins:
        check(filecmp.cmp(os.path.join(windir, f), os.path.join(linuxdir, f), shallow=False),
              "map %s differs from the Linux one" % f)
    return wins


# -- scenarios --------------------------------------------------------------
# The run's questions, titles and help come from its own table (loadtexts);
# the boxes' texts below are checked as they stand.
MESH_Q = OUT_Q = CR2_Q = KIND_Q = SEP_Q = TB_Q = INV_Q = EXISTS_Q = SIZE_Q = HELP = FINISHED = None
PICTURE_Q = None
SEP_NOTE = ("Each file's name will be the name that you specified with the name of the "
            "material appended")
CR2_ONLY = "these materials are in the .CR2 file but not in the .OBJ file"
OBJ_ONLY = "these materials are in the .OBJ file but not in the .CR2 file"
CREATED = "I have created this texture map file"
DEVICE = "Windows keeps this name for a device: no file can have it"


def loadtexts(tool):
    """Sets the questions, titles and help from what the uvtexts program prints."""
    out = subprocess.run([tool], capture_output=True, text=True, check=True).stdout
    t = dict(line.split("\t", 1) for line in out.splitlines())
    names = {"MESH_Q": "Q_MESH", "OUT_Q": "Q_OUTPUT", "CR2_Q": "Q_FIGURE", "KIND_Q": "Q_KIND",
             "SEP_Q": "Q_SEPARATE", "TB_Q": "Q_SENSE", "INV_Q": "Q_INVERT", "EXISTS_Q": "Q_EXISTS",
             "SIZE_Q": "Q_SIZE", "HELP": "HELP", "FINISHED": "STAGE_FINISHED", "PICTURE_Q": "Q_CHECKPICTURE"}
    for name, key in names.items():
        globals()[name] = t[key]


def inputs(args):
    """The sample figure, its mesh under a name in capitals."""
    obj = os.path.join(args.work, "Figure.OBJ")
    cr2 = os.path.join(args.work, "figure.cr2")
    shutil.copyfile(os.path.join(args.samples, "figure.obj"), obj)
    shutil.copyfile(os.path.join(args.samples, "figure.cr2"), cr2)
    return obj, cr2


def reports(s):
    # The sample's figure names pants and Lashes, its mesh Belt and Pants.
    s.box(CR2_ONLY, "pants, Lashes", owner=False, icon=True)
    s.ok()
    s.box(OBJ_ONLY, "Belt, Pants", owner=False, icon=True)
    s.ok()


def window_help_exit(s, args):
    # Under load the probe can meet the window before Wine has placed it:
    # give the maximised placement a moment to arrive, then check it.
    try:
        m = s.wait(lambda w: w["class"] == "UVPAINTR" and w["zoomed"] == 1
                   and w["rect"][:2] == [-4, -4], "the maximised main window", seconds=10)
    except Failure:
        m = s.mainwin() or s.main
    check(m["title"] == "UVPAINTR", "main window title %r" % m["title"])
    check(m["zoomed"] == 1, "the main window is not maximised")
    check(m["rect"][:2] == [-4, -4], "maximised at %s, not -4,-4" % m["rect"][:2])
    s.shot("windows-main.png")
    s.key("alt+h")
    s.box("uvpaint help", HELP, owner=True)
    s.ok()
    s.quiet()
    s.probe("command", m["hwnd"], 300)   # no such menu item
    after = s.quiet()
    check(after["title"] == "UVPAINTR" and after["enabled"], "command 300 changed the window")
    s.key("alt+m")
    s.cancel(MESH_Q, proposed="Figure.OBJ")   # the mesh dropped on the program
    s.quiet()
    s.key("alt+x")
    s.closes()


def colored_per_material(s, args):
    obj, cr2 = inputs(args)
    out = os.path.join(args.work, "win", "fig.bmp")
    os.makedirs(os.path.dirname(out))
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out), proposed="figuretex.bmp")
    s.question(KIND_Q, "yes", three=True, shot="windows-question.png")
    s.question(SEP_Q, "yes")
    s.box("", SEP_NOTE, owner=False)
    s.ok()
    s.filename(CR2_Q, winpath(cr2))
    s.question(INV_Q, "no")
    s.size("300")
    reports(s)
    s.closes()   # several maps: no confirmation
    batch(args, os.path.join(args.work, "linux"), "--obj", obj, "--cr2", cr2, "--separate",
          "--size", "300", "--out", os.path.join(args.work, "linux", "fig.bmp"))
    maps = samemaps(os.path.dirname(out), os.path.join(args.work, "linux"))
    check(len(maps) == 7, "expected one map per mesh material, got %s" % maps)


def mesh_map(s, args):
    obj, _ = inputs(args)
    out = os.path.join(args.work, "win", "mesh.bmp")
    os.makedirs(os.path.dirname(out))
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out))
    s.question(KIND_Q, "no", three=True)
    s.question(SEP_Q, "no")
    s.question(INV_Q, "yes")
    s.size("x")
    s.size("1e3")        # the dialog came back proposing 640 again
    s.box(CREATED, lowwin(out), owner=True)
    check(s.mainwin()["title"] == FINISHED, "title %r at the end" % s.mainwin()["title"])
    s.ok()
    s.closes()
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--kind", "mesh", "--invert", "--size", "1000",
          "--out", os.path.join(lin, "mesh.bmp"))
    samemaps(os.path.dirname(out), lin)


def transparency_map(s, args):
    obj, cr2 = inputs(args)
    out = os.path.join(args.work, "win", "tmax.bmp")
    os.makedirs(os.path.dirname(out))
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out))
    s.question(KIND_Q, "cancel", three=True)
    s.question(SEP_Q, "no")
    s.question(TB_Q, "yes")
    s.filename(CR2_Q, winpath(cr2))
    s.question(INV_Q, "no")
    s.size("12", cancel=True)   # cancelled: the proposed 640 stands
    reports(s)
    s.box(CREATED, lowwin(out), owner=True)
    s.ok()
    s.closes()
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--cr2", cr2, "--kind", "transparency",
          "--black-transparent", "--size", "640", "--out", os.path.join(lin, "tmax.bmp"))
    samemaps(os.path.dirname(out), lin)


def check_only(s, args):
    obj, cr2 = inputs(args)
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.cancel(OUT_Q, proposed="figuretex.bmp")
    s.box("this is not a .bmp filename", lowwin(obj)[:-4] + "tex.bmp", owner=False, icon=True)
    s.ok()
    s.filename(CR2_Q, winpath(cr2))
    reports(s)
    s.closes()
    made = [f for f in os.listdir(args.work) if f.lower().endswith(".bmp")]
    check(not made, "a check-only run wrote %s" % made)


def mesh_cancelled(s, args):
    obj, cr2 = inputs(args)
    s.key("alt+m")
    s.cancel(MESH_Q)
    s.quiet()                       # the window stays for another command
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(os.path.join(args.work, "never.bmp")))
    s.question(KIND_Q, "yes", three=True)
    s.question(SEP_Q, "no")
    s.cancel(CR2_Q)
    m = s.quiet()                   # stopped early again: still open
    check(m["enabled"], "the main window is left disabled")
    s.key("alt+m")
    s.cancel(MESH_Q, proposed="figure.obj")   # the mesh chosen before
    s.quiet()
    s.probe("close", m["hwnd"])      # the close box
    s.closes()
    check(not os.path.exists(os.path.join(args.work, "never.bmp")), "a stopped run wrote a map")


def existing_file(s, args):
    obj, cr2 = inputs(args)
    windir = os.path.join(args.work, "win")
    os.makedirs(windir)
    old = os.path.join(windir, "old.bmp")
    with open(old, "wb") as f:
        f.write(b"not a map")
    new = os.path.join(windir, "new.bmp")
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(old))
    # The save dialog's own overwrite question, a Windows box owned by it.
    w = s.wait(lambda w: w["class"] == "#32770" and w["hwnd"] not in s.seen
               and w["title"] == OUT_Q, "the dialog's replace question")
    s.seen.add(w["hwnd"])
    time.sleep(SETTLE)
    s.key("y")
    s.question(KIND_Q, "yes", three=True)
    s.question(SEP_Q, "no")
    s.filename(CR2_Q, winpath(cr2))
    s.question(INV_Q, "yes")
    s.size("257")
    reports(s)
    s.filename(EXISTS_Q, winpath(new), proposed="old.bmp")
    s.box(CREATED, lowwin(new), owner=True)
    s.ok()
    s.closes()
    with open(old, "rb") as f:
        check(f.read() == b"not a map", "the existing file was changed")
    os.remove(old)
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--cr2", cr2, "--invert", "--size", "257",
          "--out", os.path.join(lin, "new.bmp"))
    samemaps(windir, lin)
    if args.shots:
        subprocess.run(["/usr/bin/convert", new, os.path.join(args.shots, "windows-map.png")],
                       check=True, timeout=60)


def one_run_at_a_time(s, args):
    obj, _ = inputs(args)
    out = os.path.join(args.work, "win", "busy.bmp")
    os.makedirs(os.path.dirname(out))
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out))
    q = s.box("", KIND_Q, owner=False, buttons=("Yes", "No", "Cancel"))
    m = s.mainwin()
    check(m["enabled"], "the main window is disabled under an unowned box")
    # The main window brought to the front hides the box; the menu, busy,
    # brings the box back.
    s.probe("raise", m["hwnd"])
    check(s.foreground() == m["hwnd"], "the main window did not come to the front")
    s.probe("command", m["hwnd"], 256)
    time.sleep(SETTLE)
    check(s.foreground() == q["hwnd"], "the run's question stayed behind the main window")
    # The menu and the close box are live under this box: none of them may
    # start a second run or pull the window from under this one.
    s.probe("command", m["hwnd"], 256)
    s.probe("command", m["hwnd"], 262)
    s.probe("close", m["hwnd"])
    s.quiet()
    s.key("n")
    s.question(SEP_Q, "no")
    s.question(INV_Q, "no")
    s.size("64")
    s.box(CREATED, lowwin(out), owner=True)
    s.ok()
    s.closes()
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--kind", "mesh", "--size", "64",
          "--out", os.path.join(lin, "busy.bmp"))
    samemaps(os.path.dirname(out), lin)


def library_map(s, args):
    """A compressed mesh, and a material library chosen in the figure
    dialog: the map the batch command makes with --mtl."""
    obz = os.path.join(args.work, "Figure.obz")
    mtl = os.path.join(args.work, "figure.mtl")
    with open(os.path.join(args.samples, "figure.obj"), "rb") as f, gzip.open(obz, "wb") as z:
        z.write(f.read())
    shutil.copyfile(os.path.join(args.samples, "figure.mtl"), mtl)
    out = os.path.join(args.work, "win", "library.bmp")
    os.makedirs(os.path.dirname(out))
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obz))
    s.filename(OUT_Q, winpath(out), proposed="figuretex.bmp")
    s.question(KIND_Q, "yes", three=True)
    s.question(SEP_Q, "no")
    s.filename(CR2_Q, winpath(mtl))
    s.question(INV_Q, "no")
    s.size("300")
    s.box(CREATED, lowwin(out), owner=True)   # every name pairs: no reports
    s.ok()
    s.closes()
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obz, "--mtl", mtl, "--size", "300", "--out", os.path.join(lin, "library.bmp"))
    samemaps(os.path.dirname(out), lin)


def check_layout(s, args):
    """The check command: the mesh, the report in a box that scrolls, the
    picture; the window stays for another command."""
    obj, _ = inputs(args)
    out = os.path.join(args.work, "win", "check.bmp")
    os.makedirs(os.path.dirname(out))
    s.key("alt+c")
    s.filename(MESH_Q, winpath(obj))
    w = s.dialog("UV check", "the report box")
    report = [c["text"] for c in w["children"] if c["id"] == 100]
    check(report and report[0].startswith("UV check of " + lowwin(obj) + ", map 640 x 640\r\n"),
          "the report reads %r" % (report[0][:120] if report else None))
    check("faces                          73  (136 triangles)" in report[0], "the report's counts")
    buttons = [c["text"] for c in w["children"] if c["class"] == "Button" and c["visible"]]
    check(buttons == ["OK"], "report box buttons %s" % buttons)
    s.key("Return")
    s.filename(PICTURE_Q, winpath(out), proposed="figurecheck.png")
    s.size("64")
    s.box(CREATED, lowwin(out), owner=True)
    s.ok()
    s.quiet()  # the window stays
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--kind", "check", "--size", "64", "--out", os.path.join(lin, "check.bmp"))
    samemaps(os.path.dirname(out), lin)


def worldfiles(args):
    """A mesh in a folder named in Chinese whose materials are named in four
    scripts (Chinese, Greek, an emoji, e with a combining accent), and a
    figure named in Greek that colours them all."""
    folder = os.path.join(args.work, "\u6a21\u578b")
    os.makedirs(folder)
    obj = os.path.join(folder, "\u4eba\u7269.obj")
    cr2 = os.path.join(args.work, "\u03c6\u03b9\u03b3\u03bf\u03cd\u03c1\u03b1.cr2")
    meshbytes, figurebytes = fixtures.named(fixtures.WORLDNAMES)
    with open(obj, "wb") as f:
        f.write(meshbytes)
    with open(cr2, "wb") as f:
        f.write(figurebytes)
    return folder, obj, cr2


def unicode_names(s, args):
    folder, obj, cr2 = worldfiles(args)
    out = os.path.join(folder, "\U0001f600e\u0301.bmp")
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out), proposed="\u4eba\u7269tex.bmp")
    s.question(KIND_Q, "yes", three=True)
    s.question(SEP_Q, "yes")
    s.box("", SEP_NOTE, owner=False)
    s.ok()
    s.filename(CR2_Q, winpath(cr2))
    s.question(INV_Q, "no")
    s.size("64")
    s.closes()   # every name pairs: no report
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--cr2", cr2, "--separate", "--size", "64",
          "--out", os.path.join(lin, os.path.basename(out)))
    maps = samemaps(folder, lin)
    want = sorted("\U0001f600e\u0301_%s.bmp" % n for n in fixtures.WORLDNAMES)
    check(maps == want, "maps %s, not %s" % (maps, want))


def unicode_single_map(s, args):
    folder, obj, _ = worldfiles(args)
    out = os.path.join(folder, "\u03a9\u03bc\u03ad\u03b3\u03b1.bmp")
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out))
    s.question(KIND_Q, "no", three=True)
    s.question(SEP_Q, "no")
    s.question(INV_Q, "no")
    s.size("64")
    s.box(CREATED, lowwin(out), owner=True)
    check(s.mainwin()["title"] == FINISHED, "title %r at the end" % s.mainwin()["title"])
    s.ok()
    s.closes()
    lin = os.path.join(args.work, "linux")
    batch(args, lin, "--obj", obj, "--kind", "mesh", "--size", "64",
          "--out", os.path.join(lin, os.path.basename(out)))
    samemaps(folder, lin)


def device_name(s, args):
    obj, _ = inputs(args)
    out = os.path.join(args.work, "Nul.bmp")
    s.key("alt+m")
    s.filename(MESH_Q, winpath(obj))
    s.filename(OUT_Q, winpath(out))
    # Wine's dialog finds the device there and asks whether to replace it.
    w = s.wait(lambda w: w["class"] == "#32770" and w["hwnd"] not in s.seen, "the refusal")
    if w["title"] == OUT_Q:
        s.seen.add(w["hwnd"])
        time.sleep(SETTLE)
        s.key("y")
    s.box(DEVICE, lowwin(out), owner=False, icon=True)
    s.ok()
    m = s.quiet()                   # stopped before its questions: still open
    check(m["enabled"] and m["title"] == "UVPAINTR", "the main window after the refusal: %s" % m)
    s.key("alt+x")
    s.closes()


SCENARIOS = {
    "check_layout": check_layout,
    "window_help_exit": window_help_exit,
    "colored_per_material": colored_per_material,
    "mesh_map": mesh_map,
    "transparency_map": transparency_map,
    "library_map": library_map,
    "check_only": check_only,
    "mesh_cancelled": mesh_cancelled,
    "existing_file": existing_file,
    "one_run_at_a_time": one_run_at_a_time,
    "unicode_names": unicode_names,
    "unicode_single_map": unicode_single_map,
    "device_name": device_name,
}


# -- the shared Wine prefix ---------------------------------------------------
def setup(args):
    shutil.rmtree(args.prefix, ignore_errors=True)
    s = Session(args, "setup")
    try:
        s.wineserver("-k")
        s.startx()
        r = subprocess.run([args.wine, "wineboot", "-i"], env=s.env, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(r.returncode == 0, "wineboot -i failed")
        # A virtual desktop: Wine draws the frames and title bars itself and
        # maximises as Windows does, with no window manager on the display.
        for key, name, value in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                                 ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default",
                                  "1280x1024")):
            r = subprocess.run([args.wine, "reg", "add", key, "/v", name, "/d", value, "/f"],
                               env=s.env, timeout=60, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            check(r.returncode == 0, "cannot set %s\\%s" % (key, name))
        s.wineserver("-w")
    finally:
        s.stop()


def teardown(args):
    env = dict(os.environ, WINEPREFIX=args.prefix)
    subprocess.run(["wineserver", "-k"], env=env, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(args.prefix, ignore_errors=True)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("scenario", choices=sorted(SCENARIOS) + ["setup", "teardown"])
    p.add_argument("--exe")
    p.add_argument("--wine", default="wine", help="the Wine command that runs --exe and --probe")
    p.add_argument("--probe")
    p.add_argument("--linux")
    p.add_argument("--samples")
    p.add_argument("--prefix", required=True)
    p.add_argument("--work")
    p.add_argument("--shots")
    p.add_argument("--texts", help="the program that prints the run's own words")
    args = p.parse_args()
    if args.texts:
        loadtexts(args.texts)
    for name in ("exe", "probe", "linux", "samples", "prefix", "work", "shots"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))

    def expire(*_):
        raise Failure("scenario took over %d s" % SCENARIO_SECONDS)
    signal.signal(signal.SIGALRM, expire)
    signal.signal(signal.SIGTERM, expire)
    signal.alarm(SCENARIO_SECONDS)
    try:
        if args.scenario == "setup":
            setup(args)
        elif args.scenario == "teardown":
            teardown(args)
        else:
            shutil.rmtree(args.work, ignore_errors=True)
            os.makedirs(args.work)
            s = Session(args, args.scenario)
            try:
                s.start()
                SCENARIOS[args.scenario](s, args)
            finally:
                signal.alarm(0)
                s.stop()
    except Failure as e:
        print("FAIL %s: %s" % (args.scenario, e), file=sys.stderr)
        return 1
    print("ok %s" % args.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
