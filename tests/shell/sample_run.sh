#!/bin/sh
# Runs the built uvpaint on the sample figure through samples/demo.sh and checks
# that ImageMagick opens every map, then the output streams and exit statuses
# of the program itself.
#   sample_run.sh UVPAINT SAMPLES WORKDIR CONVERT VERSION
set -u
bin=$1 samples=$2 work=$3 convert=$4 version=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$convert" ] || fail "no ImageMagick convert at '$convert'"
rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"

sh "$samples/demo.sh" "$bin" "$work/demo" > "$work/demo.log" 2>&1 || { cat "$work/demo.log"; fail "demo.sh"; }
for f in figure_colored figure_library figure_mesh figure_transparency materials/figure_skin materials/figure_Hair \
         materials/figure_Eyes materials/figure_Shirt materials/figure_Belt materials/figure_Pants \
         materials/figure_Shoes; do
    size=$("$convert" "$work/demo/$f.bmp" -format '%w %h %[type]' info:) || fail "convert cannot open $f.bmp"
    case "$size" in "640 640 "*) ;; *) fail "$f.bmp is '$size', not 640 x 640" ;; esac
done
# The coloured map has five colours of the figure, white rims and black; the
# mesh map is white on black.
colours=$("$convert" "$work/demo/figure_colored.bmp" -format '%k' info:)
[ "$colours" = 7 ] || fail "figure_colored.bmp has $colours colours, not 7"
# The library gives all seven materials of the mesh their colours, none
# dark enough for a white rim, on black.
colours=$("$convert" "$work/demo/figure_library.bmp" -format '%k' info:)
[ "$colours" = 8 ] || fail "figure_library.bmp has $colours colours, not 8"
colours=$("$convert" "$work/demo/figure_mesh.bmp" -format '%k' info:)
[ "$colours" = 2 ] || fail "figure_mesh.bmp has $colours colours, not 2"

# A check: the reports on standard output, nothing on standard error, status 1.
"$bin" --obj "$samples/figure.obj" --cr2 "$samples/figure.cr2" > "$work/out" 2> "$work/err"
status=$?
[ $status = 1 ] || fail "check-only status $status"
printf '%s\n' "these materials are in the .CR2 file but not in the .OBJ file: pants, Lashes" \
    "these materials are in the .OBJ file but not in the .CR2 file: Belt, Pants" > "$work/expected"
cmp -s "$work/out" "$work/expected" || { cat "$work/out"; fail "check-only standard output"; }
[ ! -s "$work/err" ] || { cat "$work/err"; fail "check-only standard error"; }

# A refused option: reason and usage on standard error, status 2.
"$bin" --obj "$samples/figure.obj" --out map.jpg > "$work/out" 2> "$work/err"
status=$?
[ $status = 2 ] || fail "refused option status $status"
[ ! -s "$work/out" ] || fail "refused option wrote to standard output"
head -n 1 "$work/err" | grep -qx "uvpaint: --out map.jpg: the map's name must end in .bmp, .png or .svg" || fail "refusal reason"
grep -q '^usage: uvpaint --obj' "$work/err" || fail "refusal without usage"

[ "$("$bin" --version)" = "uvpaint $version" ] || fail "--version"

# No arguments and no desktop to open: the usage, status 2.
env -u DISPLAY -u WAYLAND_DISPLAY "$bin" > "$work/out" 2> "$work/err" < /dev/null
status=$?
[ $status = 2 ] || fail "no-argument status $status"
grep -q '^usage: uvpaint --obj' "$work/err" || fail "no-argument run without usage"
echo "sample maps and exit statuses: ok"
