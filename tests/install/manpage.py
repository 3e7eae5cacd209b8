#!/usr/bin/env python3
"""The man page and the bash completion keep step with the program's help:
every option of `uvpaint --help` is in both, and neither has one the help
lacks; the man page names the program's version and formats without a
warning; the completion completes options, kinds and report formats.

    manpage.py UVPAINT MANPAGE COMPLETION
"""
import os
import re
import subprocess
import sys
import tempfile

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def helpoptions(text):
    """(short, long) of each option the help lists: '  -o, --out MAP ...'."""
    return set(re.findall(r"^ {2,6}(?:-(\w), )?--([\w-]+)", text, re.M))


def manoptions(text):
    """(short, long) of each option heading of the OPTIONS section."""
    section = text[text.index(".SH OPTIONS"):]
    section = section[:section.index("\n.SH ", 1)]
    heads = re.findall(r"^\.TP\n(.*)$", section, re.M)
    found = set()
    for h in heads:
        m = re.match(r"\\fB\\-(\w)\\fR, \\fB\\-\\-([\w\\-]+)\\fR|\\fB\\-\\-([\w\\-]+)\\fR", h)
        check(m, "man page: option heading %r has no option" % h)
        if m:
            found.add((m.group(1) or "", (m.group(2) or m.group(3)).replace("\\-", "-")))
    return found


def complete(completion, words, cword, cwd):
    """What the completion offers for the words, the cword-th being typed."""
    script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=%d; _uvpaint; '
              'printf "%%s\\n" "${COMPREPLY[@]}"' % cword)
    r = subprocess.run(["bash", "-c", script, "x", completion] + words, cwd=cwd,
                       capture_output=True, text=True, timeout=30)
    check(r.returncode == 0, "completion of %s failed: %s" % (words, r.stderr))
    return sorted(l for l in r.stdout.splitlines() if l)


def main(uvpaint, manpage, completion):
    helptext = subprocess.run([uvpaint, "--help"], capture_output=True, text=True, check=True).stdout
    version = subprocess.run([uvpaint, "--version"], capture_output=True, text=True,
                             check=True).stdout.split()[-1]
    with open(manpage) as f:
        man = f.read()
    want = helpoptions(helptext)
    check(len(want) >= 10, "the help lists only %s" % sorted(want))
    got = manoptions(man)
    check(not want - got, "options of --help missing from the man page: %s" % sorted(want - got))
    check(not got - want, "man page options that --help lacks: %s" % sorted(got - want))
    th = re.search(r'^\.TH UVPAINT 1 "[^"]*" "uvpaint ([^"]+)"', man, re.M)
    check(th and th.group(1) == version, "the man page is of uvpaint %s, the program %s"
          % (th and th.group(1), version))
    r = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", manpage], capture_output=True, text=True)
    check(r.returncode == 0 and not r.stderr, "groff warns: %s" % r.stderr)

    with open(completion) as f:
        comp = f.read()
    listed = set(re.findall(r"(?<![\w-])(--?[\w-]+)", comp[comp.index("local options="):comp.index("COMPREPLY=()")]))
    helpnames = {"--" + l for _, l in want} | {"-" + s for s, _ in want if s}
    check(listed == helpnames, "the completion offers %s beyond --help and lacks %s"
          % (sorted(listed - helpnames), sorted(helpnames - listed)))
    with tempfile.TemporaryDirectory() as d:
        for name in ("mesh.obj", "Other.OBJ", "map.bmp", "figure.cr2", "notes.txt"):
            open(os.path.join(d, name), "w").close()
        os.mkdir(os.path.join(d, "maps"))
        for words, cword, expected in (
                (["uvpaint", "--ki"], 1, ["--kind"]),
                (["uvpaint", "--kind", "t"], 2, ["transparency"]),
                (["uvpaint", "-k", ""], 2, ["check", "colored", "mesh", "transparency"]),
                (["uvpaint", "--report", "=", "j"], 3, ["json"]),
                (["uvpaint", "--report=t"], 1, ["text"]),
                (["uvpaint", "--allow", "overlaps,fl"], 2, ["overlaps,flipped"]),
                (["uvpaint", "--obj", ""], 2, ["Other.OBJ", "maps", "mesh.obj"]),
                (["uvpaint", "--cr2", ""], 2, ["figure.cr2", "maps"]),
                (["uvpaint", "mesh.obj", "-o", ""], 3, ["map.bmp", "maps"])):
            offered = complete(completion, words, cword, d)
            check(offered == expected, "completing %s offers %s, not %s" % (words, offered, expected))

    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*(os.path.abspath(a) for a in sys.argv[1:4])))
