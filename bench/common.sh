# What the benchmark scripts share; sourced by run.sh, formats.sh and
# inputs.sh after they set `here` (this folder).

# programs BUILD_DIR: sets build (absolute), uvbench and uvpaint, or ends
# the script when they are not built.
programs() {
    case "$1" in /*) build=$1 ;; *) build=$(pwd)/$1 ;; esac
    uvbench=$build/bench/uvbench
    uvpaint=$build/shell/uvpaint
    for b in "$uvbench" "$uvpaint"; do
        [ -x "$b" ] || { echo "bench: no $b (build the uvbench target first)" >&2; exit 2; }
    done
}

# makemesh DATA NAME TRIS GEN: DATA/NAME.obj and its .mtl from the generator
# GEN, when either is missing. Made in DATA/part and moved into place when
# whole, so that a stopped run leaves no half mesh to be timed; the caller's
# clean-up removes DATA/part.
makemesh() {
    [ -f "$1/$2.obj" ] && [ -f "$1/$2.mtl" ] && return 0
    echo "bench: making $1/$2.obj with $(basename "$4") --tris $3" >&2
    rm -rf "$1/part" && mkdir "$1/part" || exit 2
    python3 "$4" "$1/part/$2.obj" --tris "$3" || { echo "bench: the generator failed" >&2; exit 1; }
    mv "$1/part/$2.mtl" "$1/" && mv "$1/part/$2.obj" "$1/" || exit 1
}

# timed LABEL PROGRAM ARGS...: one run, timed by uvbench, into $results;
# a failed run ends the script with its messages ($work/log).
timed() {
    "$uvbench" --exec "$@" >> "$results" 2>> "$work/log" && return 0
    cat "$work/log" >&2
    echo "bench: this run failed: $*" >&2
    exit 1
}

# The awk function median(v, k): the median of v[k, 1] to v[k, n[k]], the
# rounds of label k; it leaves the least of them in `least`.
MEDIAN='
    function median(v, k,   i, j, t, m, a) {
        m = n[k]
        for (i = 1; i <= m; i++) a[i] = v[k, i]
        for (i = 2; i <= m; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        least = a[1]
        return m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
    }'
