#!/bin/bash
# Faults of the machine met by the built uvpaint: each gives its one message
# and exit status 2, leaves no temporary file, and leaves an existing map
# byte-identical.
#   faults.sh CASE UVPAINT SAMPLES WORKDIR
set -u
case=$1 bin=$2 samples=$3 work=$4
mesh=$samples/figure.obj
fail() { echo "FAIL: $case: $*" >&2; exit 1; }

# fresh DIR: an empty folder that anyone may write (for the runs as nobody).
fresh() { rm -rf "$1" && mkdir -p "$1" && chmod 0777 "$1" || fail "cannot make $1"; }
# run ARGS...: uvpaint on the sample mesh; $status, $work/out, $work/err.
run() { "$bin" --obj "$mesh" "$@" > "$work/out" 2> "$work/err" < /dev/null; status=$?; }
# expect STATUS LINE...: the exit status, and standard error exactly these lines.
expect() {
    local want=$1
    shift
    [ "$status" = "$want" ] || { cat "$work/err"; fail "exit status $status, not $want"; }
    printf '%s\n' "$@" > "$work/expected"
    cmp -s "$work/err" "$work/expected" || { cat "$work/err"; fail "standard error is not: $*"; }
}
# listing DIR: the names in DIR, hidden ones included, one a line.
listing() { ls -A "$1" | LC_ALL=C sort; }
# same DIR BEFORE: DIR holds exactly the names listed in the file BEFORE.
same() { listing "$1" | cmp -s - "$2" || { listing "$1"; fail "the files in $1 changed"; }; }
oldmap() { printf 'the old map, which must survive\n' > "$1" || fail "cannot write $1"; }
# A map of the sample at size 64 made on a sound disk, to compare with.
good() { "$bin" --obj "$mesh" --out "$1" --size 64 "${@:2}" > /dev/null 2>&1 || fail "a plain run failed"; }

# asnobody CMD...: runs CMD without privileges, since root's permission
# checks pass; as anyone else it runs as is.
asnobody() {
    if [ "$(id -u)" = 0 ]; then
        command -v setpriv > /dev/null || fail "setpriv is needed to run as nobody"
        setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
    else
        "$@"
    fi
}

# inns CASE: this script again, as root of a new user and mount namespace,
# where it may mount what it needs; root outside needs no user namespace.
inns() {
    if unshare -rm true 2> /dev/null; then
        unshare -rm bash "$0" "$1" "$bin" "$samples" "$work"
    elif [ "$(id -u)" = 0 ] && unshare -m true 2> /dev/null; then
        unshare -m bash "$0" "$1" "$bin" "$samples" "$work"
    else
        fail "no mount namespace here (unshare -rm and unshare -m both refused)"
    fi
}

mkdir -p "$work" || fail "cannot make $work"
d=$work/$case
case $case in
folder)
    # A folder of the map's name: refused before anything is made beside it.
    fresh "$d"
    mkdir "$d/map.bmp" && echo x > "$d/map.bmp/inside"
    listing "$d" > "$work/before"
    run --out "$d/map.bmp" --overwrite --size 64
    expect 2 "uvpaint: $d/map.bmp: I can't open this file (Is a directory)"
    same "$d" "$work/before"
    [ "$(ls -A "$d/map.bmp")" = inside ] || fail "the folder's contents changed"
    ;;

readonly)
    # A folder on a read-only mount, where root fails too.
    inns readonly-mount || exit 1
    # The runs as nobody work in a folder that nobody can reach, with copies
    # of the program and the mesh: the checkout may sit in a folder that only
    # its owner may search (a home folder, one made by mktemp -d).
    stage=$(mktemp -d "${TMPDIR:-/tmp}/uvpaint-faults.XXXXXX") || fail "cannot make a folder for nobody"
    trap 'rm -rf "$stage"' EXIT
    chmod 0755 "$stage" && cp "$bin" "$stage/uvpaint" && cp "$mesh" "$stage/figure.obj" &&
        chmod 0755 "$stage/uvpaint" && chmod 0644 "$stage/figure.obj" || fail "cannot fill $stage"
    bin=$stage/uvpaint mesh=$stage/figure.obj d=$stage/readonly
    # A folder nobody may write: neither an existing map nor a new one.
    fresh "$d"
    oldmap "$d/map.bmp"
    cp "$d/map.bmp" "$work/old"
    chmod 0666 "$d/map.bmp" && chmod 0555 "$d"
    listing "$d" > "$work/before"
    asnobody "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 64 > "$work/out" 2> "$work/err"
    status=$?
    expect 2 "uvpaint: $d/map.bmp: I can't open this file (Permission denied)"
    asnobody "$bin" --obj "$mesh" --out "$d/new.bmp" --size 64 > "$work/out" 2> "$work/err"
    status=$?
    expect 2 "uvpaint: $d/new.bmp: I can't open this file (Permission denied)"
    same "$d" "$work/before"
    cmp -s "$d/map.bmp" "$work/old" || fail "the old map changed in a read-only folder"
    # A read-only map in a folder anyone may write: not replaced by a rename.
    chmod 0777 "$d" && chmod 0444 "$d/map.bmp"
    [ "$(id -u)" = 0 ] && chown 65534:65534 "$d/map.bmp"
    asnobody "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 64 > "$work/out" 2> "$work/err"
    status=$?
    expect 2 "uvpaint: $d/map.bmp: I can't open this file (Permission denied)"
    same "$d" "$work/before"
    cmp -s "$d/map.bmp" "$work/old" || fail "a read-only map was replaced"
    # A folder nobody may search: no file there is known to exist, so none
    # is said to exist; the write cannot open it.
    chmod 0700 "$d"
    asnobody "$bin" --obj "$mesh" --out "$d/new.bmp" --size 64 > "$work/out" 2> "$work/err"
    status=$?
    expect 2 "uvpaint: $d/new.bmp: I can't open this file (Permission denied)"
    chmod 0777 "$d"
    same "$d" "$work/before"
    ;;
readonly-mount)
    fresh "$d"
    oldmap "$d/map.bmp"
    cp "$d/map.bmp" "$work/old"
    listing "$d" > "$work/before"
    mount --bind "$d" "$d" && mount -o remount,bind,ro "$d" || fail "cannot mount $d read-only"
    touch "$d/probe" 2> /dev/null && fail "root can still write in the read-only mount"
    run --out "$d/map.bmp" --overwrite --size 64
    expect 2 "uvpaint: $d/map.bmp: I can't open this file (Read-only file system)"
    run --out "$d/new.bmp" --size 64
    expect 2 "uvpaint: $d/new.bmp: I can't open this file (Read-only file system)"
    same "$d" "$work/before"
    cmp -s "$d/map.bmp" "$work/old" || fail "the old map changed on a read-only mount"
    ;;

device)
    # A device or pipe is written in place: never replaced by a plain file.
    fresh "$d"
    [ ! -e /dev/full.tmp ] || fail "/dev/full.tmp is there before the run"
    ln -s /dev/full "$d/full.bmp"
    listing "$d" > "$work/before"
    run --out "$d/full.bmp" --overwrite --size 64
    expect 2 "uvpaint: $d/full.bmp: I can't write this file (No space left on device)"
    same "$d" "$work/before"
    [ -c /dev/full ] || fail "/dev/full is no longer a device"
    [ ! -e /dev/full.tmp ] || fail "a temporary file was made in /dev"
    # A named pipe gets exactly the bytes of a map file.
    good "$d/file.bmp"
    mkfifo "$d/pipe.bmp" || fail "mkfifo"
    exec 3<> "$d/pipe.bmp"  # holds both ends open: neither open blocks
    run --out "$d/pipe.bmp" --overwrite --size 64
    expect 0 "I have created this texture map file: $d/pipe.bmp"
    timeout 10 head -c "$(stat -c %s "$d/file.bmp")" <&3 > "$work/piped"
    exec 3>&-
    cmp -s "$work/piped" "$d/file.bmp" || fail "the pipe did not carry the map"
    [ -p "$d/pipe.bmp" ] || fail "the pipe was replaced"
    # With only a reader at the other end: asking whether the map exists
    # must not open the pipe and wait for a writer that is the run itself.
    timeout 20 cat "$d/pipe.bmp" > "$work/piped2" &
    reader=$!
    timeout 20 "$bin" --obj "$mesh" --out "$d/pipe.bmp" --overwrite --size 64 > "$work/out" 2> "$work/err" < /dev/null
    status=$?
    wait $reader
    expect 0 "I have created this texture map file: $d/pipe.bmp"
    cmp -s "$work/piped2" "$d/file.bmp" || fail "the pipe with a reader did not carry the map"
    # Standard output through its link, when it is a pipe.
    ln -s /dev/stdout "$d/stdout.bmp"
    "$bin" --obj "$mesh" --out "$d/stdout.bmp" --overwrite --size 64 2> "$work/err" < /dev/null | cat > "$work/piped"
    status=${PIPESTATUS[0]}
    expect 0 "I have created this texture map file: $d/stdout.bmp"
    cmp -s "$work/piped" "$d/file.bmp" || fail "standard output did not carry the map"
    [ -L "$d/stdout.bmp" ] || fail "the link to standard output was replaced"
    [ "$(listing "$d" | tr '\n' ' ')" = "file.bmp full.bmp pipe.bmp stdout.bmp " ] || fail "files left: $(listing "$d")"
    ;;

tinyfs)
    rm -rf "$work/ref" && mkdir -p "$work/ref" && good "$work/ref/fig.bmp" --separate
    inns tinyfs-mount || exit 1
    ;;
tinyfs-mount)
    # A disk too small for the map: 4 pages, one of them the old map's.
    mkdir -p "$d" && mount -t tmpfs -o size=16k tmpfs "$d" || fail "cannot mount a small tmpfs"
    oldmap "$d/map.bmp"
    cp "$d/map.bmp" "$work/old"
    listing "$d" > "$work/before"
    run --out "$d/map.bmp" --overwrite --size 64
    expect 2 "uvpaint: $d/map.bmp: I can't write this file (No space left on device)"
    same "$d" "$work/before"
    cmp -s "$d/map.bmp" "$work/old" || fail "the old map changed on a full disk"
    umount "$d"
    # One map per material on a disk that fills on the third: the first two
    # are whole, the third keeps its old file, and the run stops there.
    mount -t tmpfs -o size=40k tmpfs "$d" || fail "cannot mount a small tmpfs"
    oldmap "$d/fig_Eyes.bmp"
    run --out "$d/fig.bmp" --size 64 --separate
    expect 2 "Each file's name will be the name that you specified with the name of the material appended" \
        "uvpaint: $d/fig_Eyes.bmp: I can't write this file (No space left on device)" \
        "the disk is full: 2 of 7 maps were written"
    [ "$(listing "$d" | tr '\n' ' ')" = "fig_Eyes.bmp fig_Hair.bmp fig_skin.bmp " ] || fail "files left: $(listing "$d")"
    for m in skin Hair; do
        cmp -s "$d/fig_$m.bmp" "$work/ref/fig_$m.bmp" || fail "the map of $m is not whole"
    done
    cmp -s "$d/fig_Eyes.bmp" "$work/old" || fail "the third map's old file changed"
    umount "$d"
    ;;

oom)
    # A map too big for the memory the run may have: refused before any file.
    fresh "$d"
    oldmap "$d/map.bmp"
    cp "$d/map.bmp" "$work/old"
    listing "$d" > "$work/before"
    if ASAN_OPTIONS=help=1 "$bin" --version 2>&1 | grep -q AddressSanitizer; then
        # The sanitizer reserves terabytes at start and cannot run under an
        # address-space limit; its own allocator limit refuses instead.
        export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=2048"
        run --out "$d/map.bmp" --overwrite --size 32768
        # Its one line about the refusal is not the program's.
        grep -v '^==[0-9]*==WARNING: AddressSanitizer failed to allocate' "$work/err" > "$work/err.own"
        mv "$work/err.own" "$work/err"
    else
        (ulimit -v 2000000 && exec "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 32768) \
            > "$work/out" 2> "$work/err" < /dev/null
        status=$?
    fi
    expect 2 "out of memory"
    same "$d" "$work/before"
    cmp -s "$d/map.bmp" "$work/old" || fail "the old map changed"
    ;;

killed)
    # The run dies in the middle of the write (the file size limit's signal):
    # at most the temporary file is left, never a partial map.
    fresh "$d"
    oldmap "$d/map.bmp"
    cp "$d/map.bmp" "$work/old"
    (ulimit -f 100 && exec "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 640) > "$work/out" 2> "$work/err"
    status=$?
    [ "$status" -gt 128 ] || fail "the run was not killed (status $status)"
    cmp -s "$d/map.bmp" "$work/old" || fail "a killed run left a changed map"
    [ "$(listing "$d" | tr '\n' ' ')" = "map.bmp map.bmp.tmp " ] || fail "files left: $(listing "$d")"
    [ "$(stat -c %s "$d/map.bmp.tmp")" -lt 1228854 ] || fail "the temporary file is whole: no kill mid-write"
    # The next run writes the map whatever the leftover.
    run --out "$d/map.bmp" --overwrite --size 640
    expect 0 "I have created this texture map file: $d/map.bmp"
    [ "$(stat -c %s "$d/map.bmp")" = 1228854 ] || fail "the next run's map is not whole"
    ;;

windows)
    # bin is wincheck.exe here: the writer's checks on Windows, under Wine.
    fresh "$d"
    wine=${WINE:-wine}
    command -v "$wine" > /dev/null || fail "no $wine"
    timeout 240 "$wine" "$bin" "Z:$(printf '%s' "$d" | tr / '\\')" > "$work/out" 2>&1
    status=$?
    [ "$status" = 0 ] || { cat "$work/out"; fail "wincheck.exe status $status"; }
    grep -q 'wincheck: ok' "$work/out" || { cat "$work/out"; fail "wincheck.exe did not finish"; }
    ;;

*) fail "no such case" ;;
esac
echo "$case: ok"
