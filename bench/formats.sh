#!/bin/sh
# The maps beyond the BMP, timed as whole runs of the program beside the
# BMP run they are measured against, round by round:
#   sh bench/formats.sh BUILD_DIR [--full]
# PNG against BMP (coloured, 4096), SVG against the BMP mesh map (4096),
# --report and the check picture against the coloured run (4096), --tiles
# over four tiles against one tile of the same mesh (4096), and with --full
# the PNG's peak memory against the BMP's at 16384 and 32768. Each figure is
# the median of RUNS rounds (default 7), the ratio that of the medians.
# Settings: RUNS=K, BENCH_DATA=DIR (default bench/data), TRIS=N (1000000).
set -u
[ $# -ge 1 ] || { echo "usage: sh bench/formats.sh BUILD_DIR [--full]" >&2; exit 2; }
full=${FULL:-}
[ $# -ge 2 ] && [ "$2" = --full ] && full=1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
programs "$1"
runs=${RUNS:-7}
tris=${TRIS:-1000000}
data=${BENCH_DATA:-$here/data}
mkdir -p "$data/out" || exit 2
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work" "$data/part"; rm -f "$data"/out/fmt*' EXIT

name=sphere_$((tris / 1000))k
[ "$tris" = 1000000 ] && name=sphere_1m
obj=$data/$name.obj
makemesh "$data" "$name" "$tris" "$here/gen_mesh.py"
# The same mesh over four UDIM tiles: every u and v doubled.
tiled=$data/${name}_tiled.obj
[ -f "$tiled" ] || awk '$1 == "vt" { print "vt", 2 * $2, 2 * $3; next } { print }' "$obj" > "$tiled" || exit 1
# A figure naming the mesh's materials, from the library beside it.
figure=$data/$name.cr2
[ -f "$figure" ] || awk -f "$here/figure.awk" "$data/$name.mtl" > "$figure" || exit 1

out=$data/out
results=$work/results
: > "$results"
runmap() {  # LABEL ARGS...: one timed run of uvpaint into the results
    label=$1
    shift
    "$uvbench" --exec "$label" "$uvpaint" "$@" --overwrite -q >> "$results" 2> "$work/log" && return 0
    # A check that finds something ends with 1: timed all the same.
    tail -1 "$results" | grep -q ' 1$' && return 0
    cat "$work/log" >&2
    echo "bench: this run failed: $*" >&2
    exit 1
}
sizeof() { stat -c %s "$1"; }

r=0
while [ $r -lt "$runs" ]; do
    runmap bmp --obj "$obj" --cr2 "$figure" --out "$out/fmt.bmp" --size 4096
    runmap png --obj "$obj" --cr2 "$figure" --out "$out/fmt.png" --size 4096
    runmap meshbmp --obj "$obj" --kind mesh --out "$out/fmtmesh.bmp" --size 4096
    runmap svg --obj "$obj" --kind mesh --out "$out/fmtmesh.svg" --size 4096
    "$uvbench" --exec report "$uvpaint" --obj "$obj" --report --size 4096 >> "$results" 2> "$work/log"
    runmap check --obj "$obj" --kind check --out "$out/fmtcheck.bmp" --size 4096
    runmap onetile --obj "$obj" --cr2 "$figure" --out "$out/fmtone.bmp" --size 4096 --tiles
    runmap fourtiles --obj "$tiled" --cr2 "$figure" --out "$out/fmtfour.bmp" --size 4096 --tiles
    if [ "$full" ]; then
        for n in 16384 32768; do
            runmap "bmp$n" --obj "$obj" --cr2 "$figure" --out "$out/fmtbig.bmp" --size "$n"
            runmap "png$n" --obj "$obj" --cr2 "$figure" --out "$out/fmtbig.png" --size "$n"
        done
    fi
    r=$((r + 1))
done

echo "uvpaint formats benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
     "load $(cut -d' ' -f1-3 /proc/loadavg), $name, $runs rounds, medians"
echo "files at 4096: BMP $(sizeof "$out/fmt.bmp") bytes, PNG $(sizeof "$out/fmt.png") bytes," \
     "SVG $(sizeof "$out/fmtmesh.svg") bytes"
awk "$MEDIAN"'
    { k = $1; n[k]++; wall[k, n[k]] = $2; cpu[k, n[k]] = $3; if ($4 > kb[k]) kb[k] = $4 }
    function row(what, k, base, target,   x) {
        if (!(k in n)) return
        x = base in n ? median(wall, k) / median(wall, base) : 0
        printf "%-44s %9.1f %9.1f %9.1f %7s %7s\n", what, 1e3 * median(wall, k), 1e3 * median(cpu, k),
               kb[k] / 1024, x ? sprintf("%.2f", x) : "", target
    }
    END {
        printf "%-44s %9s %9s %9s %7s %7s\n", "run", "wall ms", "cpu ms", "peak MB", "ratio", "target"
        row("coloured map, BMP", "bmp", "", "")
        row("coloured map, PNG (ratio to BMP)", "png", "bmp", "1.3")
        row("mesh map, BMP", "meshbmp", "", "")
        row("mesh map, SVG (ratio to BMP mesh map)", "svg", "meshbmp", "2")
        row("--report alone (ratio to coloured BMP)", "report", "bmp", "1.5")
        row("check picture, BMP (ratio to coloured BMP)", "check", "bmp", "")
        row("--tiles, one tile", "onetile", "", "")
        row("--tiles, four tiles (ratio to one tile)", "fourtiles", "onetile", "4.5")
        row("coloured map 16384, BMP", "bmp16384", "", "")
        row("coloured map 16384, PNG (ratio to BMP)", "png16384", "bmp16384", "1.3")
        row("coloured map 32768, BMP", "bmp32768", "", "")
        row("coloured map 32768, PNG (ratio to BMP)", "png32768", "bmp32768", "1.3")
        if ("png16384" in kb) printf "# peak memory, PNG over BMP: 16384 %.3f, 32768 %.3f (target 1.1)\n",
            kb["png16384"] / kb["bmp16384"], ("png32768" in kb) ? kb["png32768"] / kb["bmp32768"] : 0
    }' "$results"
