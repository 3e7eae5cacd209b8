#!/usr/bin/env python3
"""Checks the built uvpaint.exe, or its console companion uvpaint.com,
without running it: hardening flags, no runtime DLLs (zlib's among them: it
is linked in), its subsystem, and its menu, dialog, icon, manifest and
version resources.

    checkexe.py EXE OBJDUMP WINDRES ICON MAKE_ICON VERSION
"""
import ast
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

MENU = '''"UVPAINTR" MENU
BEGIN
  MENUITEM "&make texture map of OBJ mesh file", 256
  MENUITEM "&check UV layout of OBJ mesh file", 264
  MENUITEM "e&xit", 262
  MENUITEM "&help", 263
END'''

# popup, visible, caption, system menu; no DS_SETFONT, so the system font
DIALOG = '''"ASKDB" DIALOG 10, 34, 300, 27
STYLE 0x90c80000
BEGIN
  CONTROL " ", 6, "STATIC", 0x50020000, 2, 1, 200, 12
  CONTROL "", 11, "EDIT", 0x50810000, 2, 13, 200, 12
  CONTROL "accept", 1, "BUTTON", 0x50010000, 201, 1, 40, 12
  CONTROL "cancel", 2, "BUTTON", 0x50010000, 201, 13, 40, 12
END'''

RUNTIME_DLL = re.compile(r"(libstdc\+\+|libgcc|libwinpthread|libssp|zlib|libz)[^ ]*\.dll", re.I)

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def block(rc, head):
    """The resource block of the decompiled .rc that starts with head."""
    at = rc.find(head)
    if at < 0:
        return None
    end = rc.find("\nEND", at)
    return rc[at:end + 4]


def icon_bytes(rc):
    """The RT_ICON resource as bytes, from windres's list of 32-bit words."""
    at = rc.find("/* RT_ICON */")
    if at < 0:
        return None
    body = rc[rc.find("BEGIN", at) + 5:rc.find("\nEND", at)]
    out = bytearray()
    for tok in re.findall(r"0x[0-9a-f]+L?|\"(?:[^\"\\]|\\.)*\"", body, re.I):
        if tok.startswith("0x"):
            out += int(tok.rstrip("Ll"), 16).to_bytes(4, "little")
        else:
            return None   # a string form would need its own decoding
    return bytes(out)


def resource_text(rc, marker):
    """A resource that windres gives as string literals, as bytes."""
    at = rc.find(marker)
    if at < 0:
        return None
    body = rc[rc.find("BEGIN", at) + 5:rc.find("\nEND", at)]
    # C escapes, and "" for a quote
    return b"".join(ast.literal_eval('b"%s"' % tok.replace('""', '\\"'))
                    for tok in re.findall(r'"((?:[^"\\]|\\.|"")*)"', body))


ASM = "{urn:schemas-microsoft-com:asm.v1}"
ASM3 = "{urn:schemas-microsoft-com:asm.v3}"


def check_manifest(data, version):
    """Common controls 6, per-monitor DPI awareness, the program's version."""
    check(data, "no manifest (RT_MANIFEST 1)")
    if not data:
        return
    root = ET.fromstring(data)
    ident = root.find(ASM + "assemblyIdentity")
    check(ident is not None and ident.get("version") == version + ".0",
          "manifest version %s, not %s.0" % (ident.get("version") if ident is not None else None, version))
    deps = [d.attrib for d in root.iter(ASM + "assemblyIdentity")]
    check(any(d.get("name") == "Microsoft.Windows.Common-Controls" and d.get("version") == "6.0.0.0"
              and d.get("publicKeyToken") == "6595b64144ccf1df" for d in deps),
          "the manifest asks for no common controls 6")
    settings = {e.tag.split("}")[1]: (e.text or "").strip()
                for e in root.iter() if e.tag.endswith(("dpiAware", "dpiAwareness", "longPathAware"))}
    check(settings.get("dpiAwareness", "").split(",")[0].strip() == "PerMonitorV2",
          "dpiAwareness is %r, not PerMonitorV2 first" % settings.get("dpiAwareness"))
    check(settings.get("dpiAware") == "true/pm", "dpiAware is %r, not true/pm" % settings.get("dpiAware"))
    check(root.find(ASM3 + "application") is not None, "the DPI settings are not in asm.v3's application")


def check_version(rc, version, filename):
    """VERSIONINFO: the numbers and the strings of this version and file."""
    block = rc[rc.find("VERSIONINFO"):]
    numbers = ", ".join((version.split(".") + ["0"] * 4)[:4])
    check(" FILEVERSION %s\n" % numbers in block, "FILEVERSION is not %s" % numbers)
    check(" PRODUCTVERSION %s\n" % numbers in block, "PRODUCTVERSION is not %s" % numbers)
    values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', block))
    want = {"FileDescription": "uvpaint: texture maps for OBJ meshes", "FileVersion": version,
            "ProductName": "uvpaint", "ProductVersion": version, "OriginalFilename": filename,
            "InternalName": "uvpaint"}
    for key, value in want.items():
        check(values.get(key) == value, "version string %s is %r, not %r" % (key, values.get(key), value))
    check('VALUE "Translation", 0x409, 1200' in block, "no US English, Unicode translation entry")


def main(exe, objdump, windres, ico, make_icon, version):
    console = exe.lower().endswith(".com")
    pe = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    chars = pe[pe.find("DllCharacteristics"):][:400]
    check("DYNAMIC_BASE" in chars, "no DYNAMIC_BASE in DllCharacteristics")
    check("NX_COMPAT" in chars, "no NX_COMPAT in DllCharacteristics")
    if console:
        check(re.search(r"Subsystem\s+00000003", pe), "not a console program")
    else:
        check(re.search(r"Subsystem\s+00000002", pe), "not a Windows GUI program")
    dlls = re.findall(r"DLL Name: (\S+)", pe)
    check(dlls, "no imports found")
    runtime = [d for d in dlls if RUNTIME_DLL.search(d)]
    check(not runtime, "imports runtime DLLs: %s" % runtime)

    rc = subprocess.run([windres, "-i", exe, "-J", "coff", "-O", "rc"], capture_output=True,
                        text=True, check=True).stdout
    check(block(rc, '"UVPAINTR" MENU') == MENU, "menu UVPAINTR is\n%s" % block(rc, '"UVPAINTR" MENU'))
    check(block(rc, '"ASKDB" DIALOG') == DIALOG, "dialog ASKDB is\n%s" % block(rc, '"ASKDB" DIALOG'))
    check('"UVPAINTR" 14 /* RT_GROUP_ICON */' in rc or re.search(r'"UVPAINTR"\s+ICON', rc),
          "no icon group named UVPAINTR")

    with open(ico, "rb") as f:
        data = f.read()
    # one image: 32 x 32, 16 colours, 4 bits a pixel
    check(data[:6] == b"\0\0\1\0\1\0", "the .ico holds more or less than one image")
    check(data[6] == 32 and data[7] == 32 and data[8] == 16, "the icon is not 32 x 32 x 16")
    check(int.from_bytes(data[12:14], "little") == 4, "the icon is not 4 bits a pixel")
    image = data[22:]
    check(icon_bytes(rc) == image, "the icon in the program is not resources/uvpaint.ico")
    check_manifest(resource_text(rc, "/* RT_MANIFEST */"), version)
    check_version(rc, version, os.path.basename(exe).lower())

    with tempfile.TemporaryDirectory() as tmp:
        again = os.path.join(tmp, "again.ico")
        subprocess.run([sys.executable, make_icon, again], check=True)
        with open(again, "rb") as f:
            check(f.read() == data, "make_icon.py no longer makes resources/uvpaint.ico")

    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:7]))
