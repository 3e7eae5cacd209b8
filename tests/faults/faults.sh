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

# staged: copies of the program and the mesh in a fresh folder that every
# user may search ($stage, removed at the end), for the runs as other users:
# the checkout may sit in a folder that only its owner may search.
staged() {
    stage=$(mktemp -d "${TMPDIR:-/tmp}/uvpaint-faults.XXXXXX") || fail "cannot make a folder for other users"
    trap 'rm -rf "$stage"' EXIT
    chmod 0755 "$stage" && cp "$bin" "$stage/uvpaint" && cp "$mesh" "$stage/figure.obj" &&
        chmod 0755 "$stage/uvpaint" && chmod 0644 "$stage/figure.obj" || fail "cannot fill $stage"
    bin=$stage/uvpaint mesh=$stage/figure.obj
}
# asroot: the case plants files as other users, which only root may.
asroot() { [ "$(id -u)" = 0 ] || fail "runs as root only: it acts as other users"; }
SEPARATE="Each file's name will be the name that you specified with the name of the material appended"
UNTRUSTED="I won't follow this link: another user made it in a shared folder"

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
    staged
    d=$stage/readonly
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
    inns killed-mount || exit 1
    ;;
killed-mount)
    # On a file system that has unnamed files (tmpfs), as most have.
    mkdir -p "$d" && mount -t tmpfs -o size=2g tmpfs "$d" || fail "cannot mount a tmpfs"
    oldmap "$d/map.bmp"
    cp "$d/map.bmp" "$work/old"
    # The run dies in the middle of the write of the file size limit's
    # signal, which no program can catch: the old map, and nothing else.
    (ulimit -f 100 && exec "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 640) > "$work/out" 2> "$work/err"
    status=$?
    [ "$status" -gt 128 ] || fail "the run was not killed (status $status)"
    cmp -s "$d/map.bmp" "$work/old" || fail "a killed run left a changed map"
    [ "$(listing "$d" | tr '\n' ' ')" = "map.bmp " ] || fail "files left: $(listing "$d")"
    # Stopped by a person or the system in the middle of a big map: the old
    # map, nothing else, and the status of the signal.
    for sig in INT TERM HUP; do
        # A background job starts with SIGINT ignored; a run from a terminal does not.
        env --default-signal=INT,TERM,HUP "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 16384 \
            > "$work/out" 2> "$work/err" < /dev/null &
        pid=$!
        # Stopped as soon as its file in $d holds part of the map.
        size=0
        for ((try = 0; try < 3000 && size == 0; try++)); do
            for f in /proc/$pid/fd/*; do
                case $(readlink "$f" 2> /dev/null) in "$d"/*) size=$(stat -L -c %s "$f" 2> /dev/null || echo 0) ;; esac
            done
            [ "$size" -gt 0 ] && kill -STOP $pid || sleep 0.01
        done
        [ "$size" -gt 0 ] || { kill -KILL $pid; fail "SIG$sig: the run never wrote its map"; }
        for f in /proc/$pid/fd/*; do
            case $(readlink "$f" 2> /dev/null) in "$d"/*) size=$(stat -L -c %s "$f") ;; esac
        done
        kill -$sig $pid && kill -CONT $pid
        wait $pid
        status=$?
        [ "$status" = $((128 + $(kill -l $sig))) ] || fail "SIG$sig: exit status $status"
        [ "$size" -lt 805306422 ] || fail "SIG$sig: the map was whole before the signal"
        cmp -s "$d/map.bmp" "$work/old" || fail "SIG$sig: a stopped run changed the map"
        [ "$(listing "$d" | tr '\n' ' ')" = "map.bmp " ] || fail "SIG$sig: files left: $(listing "$d")"
    done
    umount "$d"
    ;;

links)
    # Links that another user (nobody) planted in a shared folder, like /tmp,
    # are never followed; those of the runner and of the folder's owner are,
    # as the kernel's own rule has it.
    asroot
    staged
    s=$stage/shared v=$stage/victim
    mkdir -m 1777 "$s" && mkdir -m 0700 "$v" || fail "cannot make the folders"
    printf 'only root may read this\n' > "$v/keep.conf" && chmod 0600 "$v/keep.conf" && cp "$v/keep.conf" "$work/keep"
    asnobody ln -s ../victim/keep.conf "$s/map_skin.bmp" && asnobody ln -s ../victim/new.bmp "$s/map_Hair.bmp" ||
        fail "nobody cannot plant links"
    run --out "$s/map.bmp" --size 64 --separate
    expect 2 "$SEPARATE" "uvpaint: $s/map_skin.bmp: $UNTRUSTED" "uvpaint: $s/map_Hair.bmp: $UNTRUSTED"
    cmp -s "$v/keep.conf" "$work/keep" || fail "the file a planted link leads to changed"
    [ "$(listing "$v" | tr '\n' ' ')" = "keep.conf " ] || fail "files made where links lead: $(listing "$v")"
    [ -L "$s/map_skin.bmp" ] && [ -L "$s/map_Hair.bmp" ] || fail "a planted link was replaced"
    [ "$(ls "$s" | grep -c '^map_.*\.bmp$')" = 7 ] || fail "the other maps were not written: $(listing "$s")"
    # The map's own name, even with --overwrite.
    asnobody ln -s ../victim/keep.conf "$s/map.bmp" || fail "nobody cannot plant a link"
    run --out "$s/map.bmp" --size 64 --overwrite
    expect 2 "uvpaint: $s/map.bmp: $UNTRUSTED"
    cmp -s "$v/keep.conf" "$work/keep" || fail "the file a planted link leads to changed"
    # The runner's own link in the shared folder, and a link of the owner
    # of a shared folder, are followed.
    ln -s ../victim/mine.bmp "$s/own.bmp"
    run --out "$s/own.bmp" --size 64
    expect 0 "I have created this texture map file: $s/own.bmp"
    o=$stage/nobodys
    mkdir -m 1777 "$o" && chown 65534:65534 "$o" && asnobody ln -s ../victim/theirs.bmp "$o/map.bmp" ||
        fail "cannot make nobody's shared folder"
    run --out "$o/map.bmp" --size 64
    expect 0 "I have created this texture map file: $o/map.bmp"
    [ "$(listing "$v" | tr '\n' ' ')" = "keep.conf mine.bmp theirs.bmp " ] || fail "files where links lead: $(listing "$v")"
    [ -L "$s/own.bmp" ] && [ -L "$o/map.bmp" ] || fail "a followed link was replaced"
    ;;

group)
    # A map of user 1001 in group 3000 (mode 664), replaced by user 1002, a
    # member of 3000: the map is 1002's, as any editor's save makes it, but
    # stays in the group, with its mode.
    asroot
    staged
    d=$stage/group
    mkdir -m 0777 "$d" && oldmap "$d/map.bmp" && chown 1001:3000 "$d/map.bmp" && chmod 0664 "$d/map.bmp" ||
        fail "cannot make the shared map"
    setpriv --reuid=1002 --regid=1002 --groups=3000 "$bin" --obj "$mesh" --out "$d/map.bmp" --overwrite --size 64 \
        > "$work/out" 2> "$work/err" < /dev/null
    status=$?
    expect 0 "I have created this texture map file: $d/map.bmp"
    [ "$(stat -c %u:%g:%a "$d/map.bmp")" = 1002:3000:664 ] || fail "the map is $(stat -c %u:%g:%a "$d/map.bmp")"
    [ "$(stat -c %s "$d/map.bmp")" = 12342 ] || fail "the map was not replaced"
    ;;

streams)
    # A reader that went away before the first line: no message stops the
    # maps.
    fresh "$d"
    mkfifo "$d/gone" && exec 3<> "$d/gone" && exec 4> "$d/gone" && exec 3<&- || fail "cannot make a pipe"
    "$bin" --obj "$mesh" --out "$d/fig.bmp" --size 64 --separate >&4 2>&4 < /dev/null
    status=$?
    exec 4>&-
    [ "$status" = 0 ] || fail "exit status $status with nobody to read its lines"
    [ "$(ls "$d" | grep -c '^fig_.*\.bmp$')" = 7 ] || fail "maps written: $(listing "$d")"
    # A check whose report cannot be written fails, and says so.
    "$bin" --obj "$mesh" --cr2 "$samples/figure.cr2" > /dev/full 2> "$work/err" < /dev/null
    status=$?
    expect 2 "uvpaint: standard output: I can't write the report (No space left on device)"
    "$bin" --version > /dev/full 2> "$work/err"
    status=$?
    expect 2 "uvpaint: standard output: I can't write the version (No space left on device)"
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
