#!/bin/sh
# The inputs benchmark:  sh bench/inputs.sh BUILD_DIR
#
# 1. The 1M-triangle mesh compressed with gzip -6: its read (uvbench --read,
#    a process) against `zcat FILE > /dev/null` and against the read of the
#    plain file, in the same rounds; then whole coloured runs on it at each
#    map size, their peak memory against the budget (mesh arrays + map +
#    flags).
# 2. Colours from a library of 10,000 materials: the same mesh with a
#    `usemtl` every 50 faces, cycling over 10,000 materials, against the same
#    lines cycling over 12; whole coloured runs at 4096 that take the colours
#    from the library the mesh names.
#
# Settings, from the environment:
#   RUNS=K          rounds per figure (default 9)
#   SIZES="N ..."   map sizes of the runs of part 1 (default "640 4096")
#   BENCH_DATA=DIR  where meshes and maps go (default bench/data, kept out of git)
#   GEN=FILE        the mesh generator (default bench/gen_mesh.py)
set -u
[ $# -ge 1 ] || { echo "usage: sh bench/inputs.sh BUILD_DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
programs "$1"
runs=${RUNS:-9}
sizes=${SIZES:-"640 4096"}
data=${BENCH_DATA:-$here/data}
gen=${GEN:-$here/gen_mesh.py}
mkdir -p "$data/out" || exit 2
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work" "$data/part"; rm -f "$data"/out/inputs_*.bmp' EXIT

obj=$data/sphere_1m.obj
makemesh "$data" sphere_1m 1000000 "$gen"
gz=$data/sphere_1m.obj.gz
[ -f "$gz" ] && [ "$gz" -nt "$obj" ] || gzip -6 -c "$obj" > "$gz" || exit 1

# The same faces under a new usemtl every 50, cycling over N materials, and
# the library of those N.
materials() {  # N NAME
    [ -f "$data/$2.obj" ] && [ "$data/$2.obj" -nt "$obj" ] && return 0
    awk -v n="$1" -v lib="$2.mtl" '
        /^mtllib / { print "mtllib " lib; next }
        /^usemtl / { next }
        /^f / { if (faces++ % 50 == 0) printf "usemtl m%d\n", k++ % n }
        { print }' "$obj" > "$data/$2.obj" || exit 1
    awk -v n="$1" 'BEGIN { for (k = 0; k < n; k++)
        printf "newmtl m%d\nKa 1 1 1\nKd %.4f %.4f %.4f\nKs 0.5 0.5 0.5\nd 1\nillum 2\n\n",
               k, (k * 37 % 100) / 100, (k * 61 % 100) / 100, (k * 83 % 100) / 100 }' > "$data/$2.mtl" || exit 1
}
materials 12 sphere_1m_m12
materials 10000 sphere_1m_m10k

arrays=$("$uvbench" --read "$gz" | sed -n 's/^arrays //p')
[ -n "$arrays" ] || { echo "bench: uvbench --read $gz failed" >&2; exit 1; }

echo "uvpaint inputs benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "machine:  $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), $(nproc) cores online," \
     "$(uname -sr)"
if head=$(git -C "$here/.." rev-parse --short HEAD 2>/dev/null); then echo "source:   commit $head"; fi
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at the start"
echo "mesh:     $(basename "$obj") $(wc -c < "$obj") bytes, gzip -6 $(wc -c < "$gz") bytes;" \
     "mesh arrays $arrays bytes; $runs rounds, medians"
echo

results=$work/results
r=0
while [ "$r" -lt "$runs" ]; do
    timed zcat zcat "$gz"
    timed readgz "$uvbench" --read "$gz"
    timed read "$uvbench" --read "$obj"
    for n in $sizes; do
        timed "run$n" "$uvpaint" --obj "$gz" --kind colored --out "$data/out/inputs_$n.bmp" --size "$n" --overwrite
    done
    # In turn first and second: the run after a 50 MB write pays for its flush.
    if [ $((r % 2)) -eq 0 ]; then pair="m12 m10k"; else pair="m10k m12"; fi
    for m in $pair; do
        timed "$m" "$uvpaint" --obj "$data/sphere_1m_$m.obj" --kind colored --out "$data/out/inputs_m.bmp" \
            --size 4096 --overwrite
    done
    r=$((r + 1))
done

awk -v arrays="$arrays" -v sizes="$sizes" "$MEDIAN"'
    {
        k = $1; if (!(k in n)) order[++nk] = k
        n[k]++; wall[k, n[k]] = $2; cpu[k, n[k]] = $3
        if ($4 > kb[k]) kb[k] = $4
    }
    function budget(s) { return arrays + (int((3 * s + 3) / 4) * 4) * s + 7 + s * s }
    END {
        for (i = 1; i <= nk; i++) { k = order[i]; med[k] = median(wall, k); mcpu[k] = median(cpu, k) }
        printf "%-44s %9s %9s %8s %9s %7s\n", "process", "median ms", "cpu ms", "peak MB", "ratio", "target"
        row("zcat FILE.gz > /dev/null", "zcat", "", "")
        row("read of FILE.gz (uvbench --read)", "readgz", sprintf("%.2f x zcat", med["readgz"] / med["zcat"]), "1.5")
        row("read of FILE (uvbench --read)", "read", sprintf("%.2f x zcat", med["read"] / med["zcat"]), "")
        ns = split(sizes, s, " ")
        for (j = 1; j <= ns; j++)
            row("coloured run of FILE.gz, " s[j], "run" s[j],
                sprintf("%.2f x budget", kb["run" s[j]] * 1024 / budget(s[j])), "1.25")
        row("coloured run at 4096, 12 materials", "m12", "", "")
        row("coloured run at 4096, 10,000 materials", "m10k", sprintf("%.2f x 12", med["m10k"] / med["m12"]), "1.2")
        for (j = 1; j <= ns; j++)
            printf "# budget at %d: %.1f MB (mesh arrays %.1f MB + map + flags)\n", s[j], budget(s[j]) / 1e6, arrays / 1e6
    }
    function row(what, k, ratio, target) {
        printf "%-44s %9.1f %9.1f %8.1f %15s %7s\n", what, 1e3 * med[k], 1e3 * mcpu[k], kb[k] * 1024 / 1e6, ratio, target
    }' "$results"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at the end"
