#!/usr/bin/env python3
"""Runs the hostile cases of cases.py against the batch command: the Linux
uvpaint, or uvpaint.exe under Wine.

    hostile.py list [--wine]
    hostile.py run CASE... --program PROG --work DIR [--wine WINE --prefix DIR [--linux PROG]]

Each case runs in its own folder under DIR, made afresh with its fixtures.
Exits 0 when every case named gave its expected outcome, 1 (with the
reasons) when one did not.
"""
import argparse
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cases  # noqa: E402
import fixtures  # noqa: E402

SECONDS = 120  # per run of the program; the cases must finish in seconds


class Failure(Exception):
    pass


class Program:
    def __init__(self, args):
        self.path = os.path.abspath(args.program)
        self.wine = args.wine
        self.linux = os.path.abspath(args.linux) if args.linux else None
        # AddressSanitizer's shadow takes the whole address space: such a
        # program is held by its allocator's largest block instead.
        with open(self.path, "rb") as f:
            self.asan = not args.wine and b"__asan_init" in f.read()
        self.env = dict(os.environ)
        if args.wine:
            # Batch runs open no window: no display is needed.
            self.env.pop("DISPLAY", None)
            # Wine reads the arguments and the Linux file names in the
            # locale's encoding: UTF-8, so that every name passes.
            self.env.update(WINEPREFIX=os.path.abspath(args.prefix), WINEDEBUG="-all",
                            WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
            # A wineserver that outlives each run, so the next run, and the
            # next case, start in a fraction of a second rather than two or
            # three; one already running is kept.
            subprocess.run(["wineserver", "-p", "20"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, argv, cwd, linux=False, stdin=None, shell=False, vlimit=None, biggest=None):
        """argv: the options, or with shell a bash command that runs
        "$UVPAINT"; stdin: bytes fed through a pipe; vlimit: kB of address
        space (Linux only); biggest: MB of the largest block, in its place
        under AddressSanitizer."""
        program = [self.linux] if linux else ([self.wine, self.path] if self.wine else [self.path])
        env = dict(self.env)
        if shell:
            cmd = ["bash", "-c", argv]
            env["UVPAINT"] = program[0]
        else:
            cmd = program + argv
        limit = None
        if vlimit and not self.wine and self.asan:
            if biggest:
                env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":max_allocation_size_mb=%d" % biggest
        elif vlimit and not self.wine:
            limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (vlimit * 1024, vlimit * 1024))
        start = time.time()
        # Files, not pipes: a Wine service started by the run inherits its
        # handles and would hold a pipe open after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                r = subprocess.run(cmd, cwd=cwd, env=env, stdout=out, stderr=err, timeout=SECONDS,
                                   input=stdin, stdin=None if stdin is not None else subprocess.DEVNULL,
                                   preexec_fn=limit)
            except subprocess.TimeoutExpired:
                raise Failure("no end after %d s: %s" % (SECONDS, argv if shell else " ".join(argv)))
            out.seek(0)
            err.seek(0)
            said = lines(err.read())
            if self.asan:  # the refusals the largest block makes, said by the sanitizer
                said = [l for l in said if not re.fullmatch(r"==\d+==WARNING: AddressSanitizer failed to allocate .*", l)]
            return r.returncode, lines(out.read()), said, time.time() - start


def lines(data):
    # The Windows program writes text lines, with CR LF. Names are UTF-8;
    # bytes that are not stay apart from every character.
    text = data.decode("utf-8", "surrogateescape").replace("\r\n", "\n")
    return text.split("\n")[:-1] if text.endswith("\n") else text.split("\n") if text else []


def short(s, n=160):
    return s if len(s) <= n else s[:n] + "... (%d characters)" % len(s)


def matchlines(what, got, want):
    ok = len(got) == len(want)
    for g, w in zip(got, want):
        ok = ok and (re.fullmatch(w[3:], g) is not None if w.startswith("re:") else g == w)
    if not ok:
        raise Failure("%s:\n  expected %s\n  got      %s"
                      % (what, [short(w) for w in want], [short(g) for g in got]))


def checkbmp(path, side):
    with open(path, "rb") as f:
        data = f.read()
    row = (3 * side + 3) & ~3
    head = lambda at, n: int.from_bytes(data[at:at + n], "little")
    if not (data[:2] == b"BM" and head(2, 4) == len(data) == 54 + row * side
            and head(18, 4) == side and head(22, 4) == side and head(28, 2) == 24):
        raise Failure("%s is no %d x %d 24-bit map (%d bytes)"
                      % (os.path.basename(path), side, side, len(data)))


def checkpng(path, side):
    with open(path, "rb") as f:
        data = f.read()
    head = lambda at: int.from_bytes(data[at:at + 4], "big")
    if not (data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR" and head(16) == side
            and head(20) == side and data.endswith(b"IEND\xaeB`\x82")):
        raise Failure("%s is no whole %d x %d PNG (%d bytes)" % (os.path.basename(path), side, side, len(data)))


def checksvg(path, side):
    with open(path, "rb") as f:
        data = f.read()
    box = b'viewBox="0 0 %d %d"' % (side, side)
    if not (data.startswith(b"<?xml") and box in data[:600] and data.rstrip().endswith(b"</svg>")):
        raise Failure("%s is no whole SVG of %d x %d" % (os.path.basename(path), side, side))


MAPENDINGS = (".bmp", ".png", ".svg")


def maps(work):
    """The maps in work and its folders, by their names from work."""
    return sorted(os.path.relpath(os.path.join(d, f), work) for d, _, fs in os.walk(work)
                  for f in fs if f.lower().endswith(MAPENDINGS))


def runcase(prog, c, work):
    if prog.wine and c["windows"]:
        c = dict(c, **c["windows"])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for name in c["files"]:
        fixtures.write(work, name)
    stdin = None
    if c["stdin"]:
        with open(os.path.join(work, c["stdin"]), "rb") as f:
            stdin = f.read()
    status, out, err, seconds = prog.run(c["args"], work, stdin=stdin, shell=c["shell"], vlimit=c["vlimit"],
                                         biggest=c["biggest"])
    # The status first: a crash or a sanitizer report explains odd lines.
    if status != c["status"]:
        raise Failure("exit status %d, expected %d; standard error:\n  %s"
                      % (status, c["status"], "\n  ".join(short(l) for l in err[-20:])))
    matchlines("standard error", err, c["err"])
    if c["out"] != ["*"]:  # a report: the cases look at its status
        matchlines("standard output", out, c["out"])
    # Temporary files are hidden (".", or "~" on Windows) or end ".tmp".
    left = [os.path.relpath(os.path.join(d, f), work) for d, _, fs in os.walk(work) for f in fs
            if (f[0] in ".~" or ".tmp" in f.lower()) and os.path.relpath(os.path.join(d, f), work) not in c["files"]]
    if left:
        raise Failure("left behind: %s" % left)
    made = maps(work)
    if made != sorted(c["maps"]):
        raise Failure("maps made: %s, expected %s" % ([short(m) for m in made],
                                                     [short(m) for m in sorted(c["maps"])]))
    for name, (kind, what) in sorted(c["maps"].items()):
        path = os.path.join(work, name)
        if kind in ("bmp", "png", "svg"):
            {"bmp": checkbmp, "png": checkpng, "svg": checksvg}[kind](path, what)
            continue
        ref = os.path.join(work, "ref.bmp")
        s, _, e, _ = prog.run(what, work)
        if s != 0 or not os.path.exists(ref):
            raise Failure("the reference run %s failed: %s" % (what, e))
        with open(path, "rb") as f, open(ref, "rb") as g:
            if f.read() != g.read():
                raise Failure("%s differs from the map of the clean input (%s)"
                              % (name, " ".join(what)))
        os.remove(ref)
    if prog.linux and c["maps"] and not c["windows"]:
        # The Windows program's maps are byte for byte the Linux program's.
        made = {}
        for name in c["maps"]:
            with open(os.path.join(work, name), "rb") as f:
                made[name] = f.read()
            os.remove(os.path.join(work, name))
        s, _, e, _ = prog.run(c["args"], work, linux=True, stdin=stdin, shell=c["shell"])
        for name, data in sorted(made.items()):
            path = os.path.join(work, name)
            if s != c["status"] or not os.path.exists(path):
                raise Failure("the Linux program made no %s: %s" % (name, e))
            with open(path, "rb") as f:
                if f.read() != data:
                    raise Failure("%s differs from the Linux program's" % name)
    return seconds


def main():
    p = argparse.ArgumentParser()
    p.add_argument("command", choices=["list", "run"])
    p.add_argument("case", nargs="*")
    p.add_argument("--program")
    p.add_argument("--work")
    p.add_argument("--wine", metavar="WINE", nargs="?", const="",
                   help="run the program with this Wine command; list: the cases Wine runs")
    p.add_argument("--prefix")
    p.add_argument("--linux", help="with --wine: the Linux program, whose maps must be the same")
    args = p.parse_args()
    if args.command == "list":
        print(";".join(c["name"] for c in (cases.WINE if args.wine is not None else cases.CASES)))
        return 0
    if not args.program or not args.work or (args.wine and not args.prefix):
        p.error("run needs --program, --work, and --prefix with --wine")
    prog = Program(args)
    failed = 0
    for name in args.case:
        if name not in cases.BYNAME:
            print("%s: no such case" % name)
            failed += 1
            continue
        try:
            seconds = runcase(prog, cases.BYNAME[name], os.path.join(args.work, name))
            print("%s: passed (%.1f s)" % (name, seconds))
        except Failure as f:
            print("%s: FAILED: %s" % (name, f))
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
