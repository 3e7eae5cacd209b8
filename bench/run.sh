#!/bin/sh
# The benchmark (make bench):  sh bench/run.sh BUILD_DIR [--full]
#
# Makes the test meshes when missing (in bench/data/, kept out of git), times
# every stage of a run with BUILD_DIR/bench/uvbench, then whole coloured batch
# runs of BUILD_DIR/shell/uvpaint with `cat FILE` and `wc -l FILE` of the same
# mesh in the same rounds, and prints the tables under a description of the
# machine. Figures are medians of RUNS rounds.
#
# Settings, from the environment:
#   FULL=1          (or --full) adds the 5M-triangle mesh and the 16384 map
#   RUNS=K          rounds per figure (default 9; 5 with FULL)
#   TRIS="N ..."    triangle counts of the meshes, replacing the defaults
#   SIZES="N ..."   map sizes, replacing the defaults
#   BENCH_DATA=DIR  where meshes, figures and maps go (default bench/data)
#   GEN=FILE        the generator of meshes not yet made (default
#                   bench/gen_mesh.py); remove BENCH_DATA's meshes to remake them
set -u
usage() { echo "usage: sh bench/run.sh BUILD_DIR [--full]" >&2; exit 2; }
[ $# -ge 1 ] || usage
build=$1
full=${FULL:-0}
[ $# -ge 2 ] && { [ "$2" = --full ] || usage; full=1; }
[ "$full" = 0 ] && full=

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$here/common.sh"
programs "$build"
command -v python3 >/dev/null || { echo "bench: python3 is needed to make the meshes" >&2; exit 2; }

runs=${RUNS:-${full:+5}}
runs=${runs:-9}
tris=${TRIS:-"1000000${full:+ 5000000}"}
sizes=${SIZES:-"640 4096${full:+ 16384}"}
data=${BENCH_DATA:-$here/data}
gen=${GEN:-$here/gen_mesh.py}
[ -f "$gen" ] || { echo "bench: no mesh generator $gen" >&2; exit 2; }
mkdir -p "$data/out" || exit 2
work=$(mktemp -d) || exit 2
part=$data/part
trap 'rm -rf "$work" "$part"; rm -f "$data"/out/*.bmp "$data"/out/.uvpaint-*' EXIT
log=$work/log

label() {  # 1000000 -> 1m, 2000 -> 2k
    if [ $(($1 % 1000000)) = 0 ]; then echo "$(($1 / 1000000))m"
    elif [ $(($1 % 1000)) = 0 ]; then echo "$(($1 / 1000))k"
    else echo "$1"; fi
}

# A figure naming the mesh's materials, each with the Kd colour of its .mtl.
figure() { awk -f "$here/figure.awk" "$1"; }

# The meshes, made when missing.
meshes=
for t in $tris; do
    name=sphere_$(label "$t")
    makemesh "$data" "$name" "$t" "$gen"
    figure "$data/$name.mtl" > "$data/$name.cr2" || exit 1
    meshes="$meshes $name"
done

cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
buildtype=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
echo "uvpaint benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "machine:  $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), $(nproc) cores online" \
     "($(grep -c '^processor' /proc/cpuinfo) in all), $(awk '/^MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo)," \
     "$(uname -sr)"
echo "compiler: $(${cxx:-c++} --version 2>/dev/null | head -1), ${buildtype:-default} build"
if head=$(git -C "$top" rev-parse --short HEAD 2>/dev/null); then
    changed=$(git -C "$top" diff --name-only HEAD 2>/dev/null | cut -d/ -f1 | sort -u | paste -sd ' ' -)
    echo "source:   commit $head${changed:+, with uncommitted changes in: $changed}"
fi
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at the start"
echo "meshes:   $(basename "$gen"):$meshes; maps: $sizes; $runs rounds, medians"
echo

# Stage by stage, in process.
budgets=$work/budgets
: > "$budgets"
sizelist=$(echo $sizes | tr ' ' ',')
first=1
for name in $meshes; do
    "$uvbench" --obj "$data/$name.obj" --cr2 "$data/$name.cr2" --sizes "$sizelist" \
        --runs "$runs" --dir "$data/out" > "$work/stages" 2> "$log"
    status=$?
    grep '^@budget ' "$work/stages" >> "$budgets"
    if [ $first ]; then grep -v '^@budget ' "$work/stages"; first=
    else grep -v -e '^@budget ' -e '^mesh ' -e '^# [0-9]* rounds' -e '^# target; xbase' "$work/stages"; fi
    [ $status = 0 ] || { cat "$log" >&2; echo "bench: uvbench failed on $name" >&2; exit 1; }
done
echo

# Whole runs as processes, round by round: cat and wc -l of the mesh, the
# start-up of uvpaint alone, and a coloured map written at each size.
results=$work/results
: > "$results"
r=0
while [ $r -lt "$runs" ]; do
    for name in $meshes; do
        obj=$data/$name.obj
        timed "$name:-:cat" cat "$obj"
        timed "$name:-:wc" wc -l "$obj"
        timed "$name:-:start" "$uvpaint" --version
        for n in $sizes; do
            # A new map, then the same map replaced (synced before the rename).
            rm -f "$data/out/batch_$n.bmp"
            timed "$name:$n:new" "$uvpaint" --obj "$obj" --cr2 "$data/$name.cr2" \
                --out "$data/out/batch_$n.bmp" --size "$n"
            timed "$name:$n:run" "$uvpaint" --obj "$obj" --cr2 "$data/$name.cr2" \
                --out "$data/out/batch_$n.bmp" --size "$n" --overwrite
        done
    done
    r=$((r + 1))
done

# Medians per label; peak memory is the largest of the rounds. The batch
# target: a coloured 1M-triangle 4096 map, written, in 2 x 0.09 s; peak
# memory within 1.25 x (mesh arrays + map + flags).
awk -v target=0.18 "$MEDIAN"'
    FILENAME == ARGV[1] { budget[$2 ":" $3] = $4; next }
    {
        k = $1; if (!(k in n)) order[++nk] = k
        n[k]++; wall[k, n[k]] = $2; cpu[k, n[k]] = $3
        if ($4 > kb[k]) kb[k] = $4
    }
    END {
        printf "%-10s %5s  %-24s %9s %9s %9s %8s %9s %7s %9s %7s %6s %6s\n", "mesh", "map", "process",
               "median ms", "min ms", "cpu ms", "peak MB", "budget MB", "xbudget", "target ms", "xtarget",
               "xcpu", "xcat"
        for (i = 1; i <= nk; i++) {
            k = order[i]; med[k] = median(wall, k); lo[k] = least; mcpu[k] = median(cpu, k)
        }
        for (i = 1; i <= nk; i++) {
            k = order[i]; split(k, p, ":")
            what = p[3] == "cat" ? "cat FILE > /dev/null" : p[3] == "wc" ? "wc -l FILE" : \
                   p[3] == "start" ? "uvpaint --version" : \
                   p[3] == "new" ? "uvpaint, new coloured map" : "uvpaint, map replaced"
            b = budget[p[1] ":" p[2]]
            bm = b ? sprintf("%.1f", b / 1e6) : ""
            xb = b ? sprintf("%.2f", kb[k] * 1024 / b) : ""
            ts = (p[1] == "sphere_1m" && p[2] == "4096") ? sprintf("%.1f", 1e3 * target) : ""
            xt = ts ? sprintf("%.2f", med[k] / target) : ""
            xu = ts ? sprintf("%.2f", mcpu[k] / target) : ""
            c = med[p[1] ":-:cat"]
            xc = p[3] != "cat" && c > 0 ? sprintf("%.2f", med[k] / c) : ""
            printf "%-10s %5s  %-24s %9.2f %9.2f %9.2f %8.1f %9s %7s %9s %7s %6s %6s\n", p[1], p[2], what,
                   1e3 * med[k], 1e3 * lo[k], 1e3 * mcpu[k], kb[k] * 1024 / 1e6, bm, xb, ts, xt, xu, xc
        }
    }' "$budgets" "$results"
echo "# peak MB: the largest ru_maxrss of the rounds; budget: mesh arrays + map + flags, target 1.25 x"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at the end"
