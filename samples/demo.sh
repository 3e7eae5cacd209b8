#!/bin/sh
# Makes the maps of the sample figure with the batch command:
#   sh samples/demo.sh BINARY [FOLDER]
# FOLDER defaults to demo/ at the top of the checkout. Stops at the first step
# that fails, with a non-zero status.
set -u
[ $# -ge 1 ] || { echo "usage: sh samples/demo.sh BINARY [FOLDER]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
case "$bin" in /*) ;; *) bin=$(pwd)/$bin ;; esac
[ -x "$bin" ] || { echo "demo: no uvpaint program at $bin (run make build first)" >&2; exit 2; }
dir=${2:-$here/../demo}
mkdir -p "$dir/materials" || exit 2
dir=$(cd "$dir" && pwd)
obj=$here/figure.obj
cr2=$here/figure.cr2
fig=$obj

log=$(mktemp) || exit 2
trap 'rm -f "$log"' EXIT

# OBJ texture space has v upwards; --invert puts the figure's head at the top.
# What a step prints is shown only when it fails.
step() {
    what=$1
    shift
    if "$bin" --obj "$obj" --overwrite --invert "$@" > /dev/null 2> "$log"; then
        echo "demo: made $what"
    else
        cat "$log" >&2
        echo "demo: FAILED to make $what" >&2
        exit 1
    fi
}

echo "demo: comparing the material names of $obj and $cr2"
"$bin" --obj "$obj" --cr2 "$cr2"
status=$?
# 1 only says that some names are on one side only, as in this sample.
[ $status -le 1 ] || { echo "demo: FAILED to compare the material names" >&2; exit 1; }

step "a coloured map: $dir/figure_colored.bmp" --cr2 "$cr2" --out "$dir/figure_colored.bmp"
# No figure: the colours come from figure.mtl, the library the mesh names.
step "a coloured map from the mesh's material library: $dir/figure_library.bmp" \
    --kind colored --out "$dir/figure_library.bmp"
step "a mesh map: $dir/figure_mesh.bmp" --kind mesh --out "$dir/figure_mesh.bmp"
step "a transparency map (black = transparent): $dir/figure_transparency.bmp" \
    --cr2 "$cr2" --kind transparency --black-transparent --out "$dir/figure_transparency.bmp"
step "one coloured map per material in $dir/materials/" \
    --cr2 "$cr2" --separate --out "$dir/materials/figure.bmp"
step "a coloured PNG with a transparent background: $dir/figure_colored.png" \
    --cr2 "$cr2" --alpha --out "$dir/figure_colored.png"
step "an SVG template that scales to any size: $dir/figure_mesh.svg" --kind mesh --out "$dir/figure_mesh.svg"
obj=$here/tiles.obj
step "a map per UDIM tile of a signboard: $dir/tiles.1001.png ... tiles.1012.png" \
    --kind mesh --tiles --out "$dir/tiles.png"
obj=$here/layout.obj
step "the UV check picture of a crate with a faulty layout: $dir/layout_check.png" \
    --kind check --out "$dir/layout_check.png"
"$bin" --obj "$obj" --report > "$dir/layout_report.txt"
[ $? -le 1 ] || { echo "demo: FAILED to check the layout" >&2; exit 1; }
echo "demo: made the UV check's report of the crate: $dir/layout_report.txt"
obj=$fig
ls -l "$dir"/*.bmp "$dir"/*.png "$dir"/*.svg "$dir"/*.txt "$dir"/materials/*.bmp || exit 1
