#!/bin/sh
# Installs the built program as a user or a package would, and checks what
# lands where and that it runs from there.
#   install.sh tree BUILD SOURCE WORK   cmake --install into a scratch root
#   install.sh deb  BUILD SOURCE WORK   the .deb of make package: unpacked
#                                       into a scratch root, run, linted
set -u
mode=$1 build=$2 src=$3 work=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"

# The files of an installation under ROOT/PREFIX, and the program run from
# there on the sample: a map, and the version of the build.
installed() {
    root=$1 prefix=$2
    for f in bin/uvpaint share/man/man1/uvpaint.1.gz share/bash-completion/completions/uvpaint \
             share/applications/uvpaint.desktop share/icons/hicolor/48x48/apps/uvpaint.png \
             share/icons/hicolor/256x256/apps/uvpaint.png share/doc/uvpaint/copyright \
             share/doc/uvpaint/changelog.gz; do
        [ -f "$root$prefix/$f" ] || fail "no $prefix/$f"
    done
    for size in 48 256; do
        head=$(od -An -tx1 -N24 "$root$prefix/share/icons/hicolor/${size}x$size/apps/uvpaint.png" | tr -d ' \n')
        case $head in 89504e470d0a1a0a*) ;; *) fail "the ${size}x$size icon is no PNG" ;; esac
        [ "$(printf '%s' "$head" | cut -c33-48)" = "$(printf '%08x%08x' "$size" "$size")" ] ||
            fail "the icon in ${size}x$size is not $size x $size"
    done
    desktop=$root$prefix/share/applications/uvpaint.desktop
    for line in "Type=Application" "Exec=uvpaint %f" "Icon=uvpaint" "Terminal=false"; do
        grep -qx "$line" "$desktop" || fail "the desktop entry lacks $line"
    done
    zcat "$root$prefix/share/man/man1/uvpaint.1.gz" | cmp -s - "$src/resources/uvpaint.1" ||
        fail "the installed man page is not resources/uvpaint.1"
    [ "$("$root$prefix/bin/uvpaint" --version)" = "$("$build/shell/uvpaint" --version)" ] ||
        fail "the installed program is not this build's"
    (cd "$work" && "$root$prefix/bin/uvpaint" "$src/samples/figure.obj" -o sample.bmp -s 64 -q) ||
        fail "the installed program made no map of the sample"
    [ "$(od -An -c -N2 "$work/sample.bmp" | tr -d ' ')" = BM ] || fail "sample.bmp is no .BMP"
}

case $mode in
tree)
    DESTDIR=$work/root cmake --install "$build" --prefix /opt/uvpaint > "$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "cmake --install"; }
    installed "$work/root" /opt/uvpaint
    # The icons are the ones make_icon.py draws.
    mkdir "$work/icons" && python3 "$src/resources/make_icon.py" "$work/icons" || fail "make_icon.py"
    for f in uvpaint-48.png uvpaint-256.png uvpaint_icon.h uvpaint.ico; do
        cmp -s "$work/icons/$f" "$src/resources/$f" || fail "make_icon.py no longer makes resources/$f"
    done
    ;;
deb)
    (cd "$build" && cpack --config CPackConfig.cmake -B "$work" > "$work/cpack.log" 2>&1) ||
        { cat "$work/cpack.log"; fail "cpack"; }
    deb=$(ls "$work"/uvpaint_*.deb 2>/dev/null)
    [ -n "$deb" ] || fail "no uvpaint_*.deb made"
    # The dependencies come from the program's libraries (dpkg-shlibdeps).
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libc6 libstdc++6; do
        printf '%s' "$depends" | grep -q "\\b$lib (>= " || fail "Depends has no $lib: $depends"
    done
    dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
    installed "$work/root" /usr
    # No errors; warnings are shown.
    lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1
    status=$?
    grep -v 'running with root privileges' "$work/lintian.log"
    [ $status = 0 ] || fail "lintian found errors"
    ;;
*)
    fail "mode $mode"
    ;;
esac
echo "install $mode: ok"
