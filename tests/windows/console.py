#!/usr/bin/env python3
"""Runs the batch command of the Windows programs under Wine as a command
prompt would: the console companion uvpaint.com through cmd /c (its exit
status and messages reach the prompt), and "/?" on both programs.

    console.py list
    console.py run CASE --exe EXE --wine WINE --prefix DIR --samples DIR --work DIR

uvpaint.com is looked for beside EXE. Exits 0 when the case passed, 1 with
the reason when it did not.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SECONDS = 120


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    def __init__(self, args):
        self.wine = args.wine
        # Wine reads the arguments and Linux names in the locale's encoding.
        self.env = dict(os.environ, WINEPREFIX=os.path.abspath(args.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
        self.env.pop("DISPLAY", None)  # batch runs open no window
        subprocess.run(["wineserver", "-p", "20"], env=self.env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, argv, cwd):
        """Status, standard output and standard error lines (UTF-8, CR LF)."""
        # Files, not pipes: a Wine service started by the run would hold a
        # pipe open after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                r = subprocess.run([self.wine] + argv, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, timeout=SECONDS)
            except subprocess.TimeoutExpired:
                raise Failure("no end after %d s: %s" % (SECONDS, " ".join(argv)))
            out.seek(0)
            err.seek(0)
            return r.returncode, lines(out.read()), lines(err.read())


def lines(data):
    return data.decode("utf-8", "replace").replace("\r\n", "\n").splitlines()


def expect(what, got, want):
    check(got == want, "%s:\n  expected %s\n  got      %s" % (what, want, got))


def mesh(args, name):
    """The sample mesh under name in the work folder (folders made)."""
    path = os.path.join(args.work, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.copyfile(os.path.join(args.samples, "figure.obj"), path)
    return path


def ismap(path, side):
    with open(path, "rb") as f:
        data = f.read()
    return data[:2] == b"BM" and int.from_bytes(data[18:22], "little") == side


# -- cases ------------------------------------------------------------------
def companion_writes(w, args, com, exe):
    """cmd waits for the companion: its status and messages, and the map."""
    mesh(args, "figure.obj")
    status, out, err = w.run(["cmd", "/c", winpath(com), "--obj", "figure.obj", "--out", "map.bmp",
                              "--size", "64"], args.work)
    expect("status", status, 0)
    expect("standard error", err, ["I have created this texture map file: map.bmp"])
    expect("standard output", out, [])
    check(ismap(os.path.join(args.work, "map.bmp"), 64), "no 64 x 64 map.bmp")


def companion_fails(w, args, com, exe):
    """A failure reaches the prompt as status 2 with its reason."""
    status, out, err = w.run(["cmd", "/c", winpath(com), "--obj", "missing.obj", "--out", "map.bmp"],
                             args.work)
    expect("status", status, 2)
    expect("standard error", err, ["uvpaint: missing.obj: I can't open this file (No such file or directory)"])
    status, out, err = w.run(["cmd", "/c", winpath(com), "--size", "12.9", "figure.obj", "-o", "m.bmp"], args.work)
    expect("status of a refused option", status, 2)
    check(err[:2] == ["uvpaint: bad size 12.9 (a number of pixels from 1 to 32768)",
                      "usage: uvpaint --obj MESH.obj [--cr2 FIGURE.cr2 | --mtl LIB.mtl] [--out MAP.bmp]"],
          "refused option says %s" % err[:2])


def companion_unicode(w, args, com, exe):
    """Names in Chinese, Greek, an emoji and a combining accent, read and
    written through the prompt, and said as they are."""
    mesh(args, "\u6a21\u578b/\u4eba\u7269.obj")
    out = "\u6a21\u578b\\\u03a9\u03bc\u03ad\u03b3\u03b1\U0001f600e\u0301.bmp"
    status, _, err = w.run(["cmd", "/c", winpath(com), "--obj", "\u6a21\u578b\\\u4eba\u7269.obj",
                            "--out", out, "--size", "64"], args.work)
    expect("status", status, 0)
    expect("standard error", err, ["I have created this texture map file: " + out])
    check(ismap(os.path.join(args.work, out.replace("\\", "/")), 64), "no map %s" % out)


def help_slash_question(w, args, com, exe):
    """/? prints the help and ends, from both programs (it once opened the
    window)."""
    for program in (exe, com):
        status, out, err = w.run([program, "/?"], args.work)
        expect("status of %s /?" % os.path.basename(program), status, 0)
        check(out and out[0].startswith("usage: uvpaint --obj"), "%s /? printed %s" % (program, out[:2]))
        check("  -h, --help          print this help" in out, "%s /? printed no option list" % program)
        expect("standard error of %s /?" % os.path.basename(program), err, [])


CASES = {f.__name__: f for f in (companion_writes, companion_fails, companion_unicode, help_slash_question)}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("command", choices=["list", "run"])
    p.add_argument("case", nargs="?")
    for opt in ("--exe", "--wine", "--prefix", "--samples", "--work"):
        p.add_argument(opt)
    args = p.parse_args()
    if args.command == "list":
        print(";".join(CASES))
        return 0
    exe = os.path.abspath(args.exe)
    com = os.path.join(os.path.dirname(exe), "uvpaint.com")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    try:
        CASES[args.case](Wine(args), args, com, exe)
    except Failure as e:
        print("FAIL %s: %s" % (args.case, e), file=sys.stderr)
        return 1
    print("ok %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
