# Steps shared by the desktop scenarios: a display of their own under Xvfb,
# the program started in a scratch folder holding copies of the fixtures,
# boxes answered with xdotool as a person would, and the prompt log read line
# by line to check what each box said. Sourced with APP, DATA and CLOSER set.

STEP=20  # seconds that any one step may take

# Whole paths: the steps run in the scratch folder.
whole() {
    case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac
}
APP=$(whole "$APP")
DATA=$(whole "$DATA")
CLOSER=$(whole "$CLOSER")

work=$(mktemp -d "${TMPDIR:-/tmp}/uvpaint-desktop.XXXXXX") || exit 1
work=$(cd "$work" && pwd -P)  # as the file choosers will spell it
xvfbpid=
apppid=
seen=0   # prompt log lines checked so far

cleanup() {
    if [ -n "$apppid" ]; then kill "$apppid" 2>/dev/null; wait "$apppid" 2>/dev/null; fi
    if [ -n "$xvfbpid" ]; then kill "$xvfbpid" 2>/dev/null; wait "$xvfbpid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    echo "--- prompt log:" >&2
    cat "$work/log" >&2 2>/dev/null
    echo "--- program output:" >&2
    cat "$work/app.out" >&2 2>/dev/null
    echo "--- Xvfb on ${DISPLAY:-no display}, $(kill -0 "${xvfbpid:-0}" 2>/dev/null && echo running || echo ended):" >&2
    cat "$work/xvfb.log" >&2 2>/dev/null
    exit 1
}

# Waits up to STEP seconds for the command "$@" to succeed.
waitfor() {
    local tenths=$((STEP * 10))
    until "$@"; do
        tenths=$((tenths - 1))
        [ $tenths -gt 0 ] || return 1
        sleep 0.1
    done
}

alive() {
    [ -n "$apppid" ] && [ -e "/proc/$apppid" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$apppid/stat" 2>/dev/null
}

ended() {
    ! alive
}

xvfbready() {
    grep -q '^[0-9][0-9]*$' "$work/display" 2>/dev/null || { kill -0 "$xvfbpid" 2>/dev/null && return 1; }
}

serving() {
    xdotool getdisplaygeometry >/dev/null 2>&1
}

# A display of its own: a number drawn at random above those that people and
# other test suites commonly take, tried again when taken meanwhile.
startx() {
    local n tries
    for tries in 1 2 3 4 5 6 7 8; do
        n=$((100 + RANDOM % 800))
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        : >"$work/display"
        Xvfb ":$n" -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
        xvfbpid=$!
        waitfor xvfbready
        # Ready by its own word; a first client may still be turned away.
        if grep -q "^$n\$" "$work/display" && DISPLAY=":$n" waitfor serving; then
            export DISPLAY=":$n"
            return 0
        fi
        kill "$xvfbpid" 2>/dev/null
        wait "$xvfbpid" 2>/dev/null
        xvfbpid=
    done
    fail "Xvfb did not start: $(cat "$work/xvfb.log")"
}

# Starts the program with no options in the scratch folder, given the
# arguments (file names) of startapp. FLTK is told to
# use its own file chooser, whatever GTK the machine has; GTK's with GTK=1.
startapp() {
    mkdir -p "$work/home/.fltk/fltk.org" || fail "no scratch folder"
    printf '; FLTK preferences file format 1.0\n; vendor: fltk.org\n; application: fltk\n\n[./options]\nFNFCUsesGTK:%s\n' "${GTK:-0}" \
        >"$work/home/.fltk/fltk.org/fltk.prefs"
    cp "$DATA"/* "$work/" || fail "cannot copy the fixtures"
    (cd "$work" && HOME="$work/home" UVPAINT_PROMPT_LOG="$work/log" exec "$APP" "$@") >"$work/app.out" 2>&1 &
    apppid=$!
    main=$(window uvpaint UVPAINTR) || exit 1
}

# Prints the id of the visible window of class $1 titled exactly $2.
findwindow() {
    local w
    for w in $(xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null); do
        if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$2" ]; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

shown() {
    findwindow "$1" "$2" >/dev/null || { alive || fail "the program ended early"; return 1; }
}

window() {
    waitfor shown "$1" "$2" || fail "no window of class $1 titled '$2'"
    findwindow "$1" "$2"
}

gone() {
    ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable
}

# Window $1 has closed (the next box may look the same).
nowindow() {
    waitfor gone "$1" || fail "window $1 ($(xdotool getwindowname "$1" 2>/dev/null)) is still up"
}

loglines() {
    if [ -f "$work/log" ]; then wc -l <"$work/log"; else echo 0; fi
}

newline() {
    [ "$(loglines)" -gt "$seen" ] || { alive || fail "the program ended early"; return 1; }
}

# The next thing shown must be kind $1 with title $2 and text $3, as the
# prompt log writes them.
expect() {
    local want got
    want=$(printf '%s\t%s\t%s' "$1" "$2" "$3")
    waitfor newline || fail "nothing more shown; wanted: $want"
    seen=$((seen + 1))
    got=$(sed -n "${seen}p" "$work/log")
    [ "$got" = "$want" ] || fail "shown: '$got'; wanted: '$want'"
}

# Nothing more has been shown.
nomore() {
    [ "$(loglines)" -eq "$seen" ] || fail "shown besides: $(sed -n "$((seen + 1)),\$p" "$work/log")"
}

focus() {
    timeout "$STEP" xdotool windowfocus --sync "$1" || fail "cannot focus window $1"
}

# Keys into window $1.
press() {
    local w=$1
    shift
    focus "$w"
    xdotool key --delay 40 "$@" || fail "xdotool key $*"
}

# Text typed into window $1.
typein() {
    focus "$1"
    xdotool type --delay 40 "$2" || fail "xdotool type $2"
}

# Asks window $1 to close, as a close box does.
closewindow() {
    "$CLOSER" "$1" || fail "cannot ask window $1 to close"
}

# A box or question: checks its log line and its window, then presses keys,
# or closes it as a close box does when the keys are "close".
box() {
    local kind=$1 title=$2 text=$3 class w
    shift 3
    case $kind in
    yesno | yesnocancel) class=uvpaint-question ;;
    *) class=uvpaint-$kind ;;
    esac
    expect "$kind" "$title" "$text"
    w=$(window "$class" "$title") || exit 1
    if [ "$1" = close ]; then closewindow "$w"; else press "$w" "$@"; fi
    nowindow "$w"
}

# A file dialog: checks its log line (title, proposed name) and window, then
# types a name in the folder it shows, as a person does in FLTK's chooser:
# End, BackSpace over the proposed name, the new name, Delete to drop the
# chooser's completion, Enter.
choose() {
    local kind=$1 title=$2 proposed=$3 name=$4 w base keys=()
    expect "$kind" "$title" "$proposed"
    w=$(window uvpaint "$title") || exit 1
    base=${proposed##*/}
    while [ ${#keys[@]} -lt ${#base} ]; do keys+=(BackSpace); done
    press "$w" End "${keys[@]}"
    typein "$w" "$name"
    press "$w" Delete Return
    nowindow "$w"
}

# Waits for the program to end; its exit status must be $1.
ends() {
    local st
    waitfor ended || fail "the program is still running"
    wait "$apppid"
    st=$?
    apppid=
    [ "$st" -eq "$1" ] || fail "exit status $st, wanted $1"
}

# The batch command with the same answers must write the same bytes.
samebytes() {
    local map=$1
    shift
    (cd "$work" && "$APP" "$@" >batch.out 2>&1) || fail "batch command $*: $(cat "$work/batch.out")"
    cmp "$work/$map" "$work/batch.bmp" || fail "$map differs from the batch command's map"
}

shot() {
    import -window root -display "$DISPLAY" "$1" || fail "no screenshot $1"
}
