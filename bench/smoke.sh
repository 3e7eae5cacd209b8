#!/bin/sh
# ctest: the mesh generator's output, and the benchmark end to end on a
# small mesh of it.   sh bench/smoke.sh BUILD_DIR WORK_DIR
set -u
[ $# = 2 ] || { echo "usage: sh bench/smoke.sh BUILD_DIR WORK_DIR" >&2; exit 2; }
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "smoke: $*" >&2; exit 1; }
gen() { python3 "$here/gen_mesh.py" "$@" 2>/dev/null || fail "gen_mesh.py $* failed"; }
count() { grep -c "$1" "$2"; }
tris() { awk '$1 == "f" { t += NF - 3 } END { print t + 0 }' "$1"; }
C='[0-9]*/[0-9]*/[0-9]*'   # a corner v/t/n
F='-\{0,1\}[0-9]\.[0-9]\{6\}'  # a "%.6f" float of the unit sphere

# Quads: 5 groups, each with its material, corners v/t/n, floats "%.6f",
# the wanted triangles, a u = 1 seam column, and the same bytes twice.
gen q.obj --tris 5000 --groups 5
mkdir again && gen again/q.obj --tris 5000 --groups 5
cmp -s q.obj again/q.obj && cmp -s q.mtl again/q.mtl || fail "two runs with the same options differ"
grep -qx 'mtllib q.mtl' q.obj || fail "no mtllib line"
[ "$(count '^g group_0[0-4]$' q.obj)" = 5 ] || fail "not 5 groups"
[ "$(count '^usemtl material_0[0-4]$' q.obj)" = 5 ] || fail "not 5 usemtl lines"
[ "$(count '^newmtl material_0[0-4]$' q.mtl)" = 5 ] || fail "not 5 materials in q.mtl"
[ "$(count '^Kd ' q.mtl)" = 5 ] || fail "not 5 Kd colours"
[ "$(grep '^f ' q.obj | grep -vc "^f $C $C $C\( $C\)\{0,1\}$")" = 0 ] || fail "a face is not f v/t/n"
[ "$(count '^f .* .* .* ' q.obj)" -gt 0 ] || fail "no quads"
[ "$(grep -E '^(v|vn) ' q.obj | grep -vc "^vn\{0,1\} $F $F $F$")" = 0 ] || fail "a float is not %.6f"
grep -q '^vt 1\.000000 ' q.obj || fail "no seam column at u = 1"
t=$(tris q.obj)
[ "$t" -ge 5000 ] && [ "$t" -le 5500 ] || fail "$t triangles for --tris 5000"
[ "$(count '^vn ' q.obj)" = "$(count '^v ' q.obj)" ] || fail "not one normal per vertex"

# --tri: the same triangles as three-corner faces; --no-normals: v/t.
gen t.obj --tris 5000 --groups 5 --tri --no-normals
[ "$(tris t.obj)" = "$t" ] || fail "--tri changes the triangle count"
[ "$(grep '^f ' t.obj | grep -vc '^f [0-9]*/[0-9]* [0-9]*/[0-9]* [0-9]*/[0-9]*$')" = 0 ] ||
    fail "--tri --no-normals: a face is not three v/t corners"
[ "$(count '^vn ' t.obj)" = 0 ] || fail "--no-normals wrote normals"

# The benchmark: every stage and process row, budgets, no map left behind.
out=$(TRIS=5000 SIZES="16 64" RUNS=2 BENCH_DATA="$work/data" sh "$here/run.sh" "$build") ||
    fail "run.sh failed"
n='[0-9][0-9]*\.[0-9][0-9]'
for s in "cat FILE (process)" "wc -l FILE (process)" "pre-count (countOBJ)" "read, both passes"; do
    echo "$out" | grep -q "^sphere_5k  *-  $s  *$n " || fail "no row: $s"
done
for m in 16 64; do
    for s in "paint filled" "margin + white edges" "invert" "write BMP" "paint outline (mesh map)" \
             "margin + white, islands" "uvpaint, new coloured map" "uvpaint, map replaced"; do
        echo "$out" | grep -q "^sphere_5k  *$m  $s  *$n " || fail "no row: $s at $m"
    done
    echo "$out" | grep -q "^# sphere_5k at $m: painted 9[0-9]\.[0-9] %" || fail "less than 90 % painted at $m"
done
echo "$out" | grep -q '^machine: ' || fail "no machine line"
echo "$out" | grep -q '^meshes: *gen_mesh\.py: sphere_5k;' || fail "the mesh is not gen_mesh.py's"
[ -f data/sphere_5k.obj ] && [ -f data/sphere_5k.mtl ] && [ ! -e data/part ] ||
    fail "the mesh is not in place, or its making folder is left"
echo "$out" | grep -q '@budget' && fail "budget lines in the table"
[ -z "$(ls "$work/data/out")" ] || fail "maps left in $work/data/out"
echo "smoke: generator and benchmark ok"
