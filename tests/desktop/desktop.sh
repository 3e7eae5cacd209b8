#!/bin/bash
# Drives the desktop program through one scenario under Xvfb:
#   desktop.sh SCENARIO UVPAINT DATA CLOSEWINDOW TEXTS
# TEXTS prints the run's own questions, titles and help, "NAME<TAB>TEXT".
# Exits non-zero on the first step that does not go as a person would expect.
set -u
[ $# -eq 5 ] || { echo "usage: desktop.sh SCENARIO UVPAINT DATA CLOSEWINDOW TEXTS" >&2; exit 2; }
scenario=$1
APP=$2
DATA=$3
CLOSER=$4
. "$(dirname "$0")/lib.sh"

while IFS=$'\t' read -r name text; do
    printf -v "$name" '%s' "$text"
done < <("$5")
[ -n "${Q_MESH:-}" ] || { echo "desktop.sh: $5 gave no texts" >&2; exit 2; }
MESHQ=$Q_MESH OUTQ=$Q_OUTPUT CR2Q=$Q_FIGURE KINDQ=$Q_KIND SEPQ=$Q_SEPARATE BWQ=$Q_SENSE
INVQ=$Q_INVERT SIZEQ=$Q_SIZE EXISTS=$Q_EXISTS
CREATED="I have created this texture map file"
CR2ONLY="these materials are in the .CR2 file but not in the .OBJ file"
OBJONLY="these materials are in the .OBJ file but not in the .CR2 file"

titles() {
    local t
    for t in "$@"; do expect title "$t" ""; done
}

# The reports of Figure.obj against Figure.cr2.
reports() {
    box warning "$CR2ONLY" "hair" Return
    box warning "$OBJONLY" "Belt" Return
}

# The save dialog's own question before an existing file is replaced.
# A file dialog of kind $1, title $2, proposing $3, cancelled with Escape.
dismiss() {
    local w
    expect "$1" "$2" "$3"
    w=$(window uvpaint "$2") || exit 1
    press "$w" Escape
    nowindow "$w"
}

confirmreplace() {
    local w
    w=$(window uvpaint "") || exit 1
    press "$w" Return
    nowindow "$w"
}

# Without a display the program says so and stops, rather than aborting
# inside the toolkit.
if [ "$scenario" = nodisplay ]; then
    n=900
    while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    for d in unset ":$n"; do
        if [ "$d" = unset ]; then (cd "$work" && env -u DISPLAY "$APP" >"$work/app.out" 2>&1)
        else (cd "$work" && DISPLAY=$d timeout "$STEP" "$APP" >"$work/app.out" 2>&1); fi
        st=$?
        [ $st -eq 2 ] || fail "DISPLAY $d: exit status $st, wanted 2"
        grep -q "there is no desktop" "$work/app.out" || fail "DISPLAY $d: no word of the missing desktop"
    done
    echo "desktop $scenario: passed"
    exit 0
fi

startx
[ "$scenario" = gtkopen ] && GTK=1
# A mesh named alone, as a file manager's "Open with" gives it.
if [ "$scenario" = openwith ]; then startapp Figure.obj; else startapp; fi

case $scenario in
help_exit)
    # The main window fills the screen; help leaves it as it was; exit ends
    # the program with status 0.
    xdotool getwindowgeometry "$main" | grep -q 'Geometry: 1280x800' ||
        fail "main window not maximised: $(xdotool getwindowgeometry "$main")"
    # The program's icon, 48 x 48, for the window manager and task bar.
    xprop -id "$main" _NET_WM_ICON | head -n 1 | grep -q 'Icon (48 x 48):' ||
        fail "the main window has no 48 x 48 icon: $(xprop -id "$main" _NET_WM_ICON | head -n 1)"
    press "$main" alt+h
    box message "uvpaint help" "$HELP" Return
    alive || fail "help ended the program"
    press "$main" alt+x
    ends 0
    nomore
    ;;
colored)
    # A whole coloured run onto an existing file: the save dialog and the job
    # both ask before replacing it, and the map is the batch command's.
    echo old >"$work/col.bmp"
    press "$main" alt+m
    choose open "$MESHQ" "" Figure.obj
    choose save "$OUTQ" "$work/Figuretex.bmp" col.bmp
    confirmreplace
    box yesnocancel "" "$KINDQ" y
    box yesno "" "$SEPQ" n
    choose open "$CR2Q" "" Figure.cr2
    titles "$STAGE_READFIGURE"
    box yesno "" "$INVQ" n
    expect input "$SIZEQ" "640"
    w=$(window uvpaint-input "") || exit 1
    typein "$w" 512
    press "$w" Return
    titles "$STAGE_READMESH" "$STAGE_MATCH"
    reports
    titles "$STAGE_PAINT" "$STAGE_MARGIN" "$STAGE_EDGES" "$STAGE_FINISHED"
    choose save "$EXISTS" "$work/col.bmp" col.bmp
    confirmreplace
    box message "$CREATED" "$work/col.bmp" Return
    ends 0
    nomore
    samebytes col.bmp --obj Figure.obj --cr2 Figure.cr2 --out batch.bmp --kind colored --size 512
    ;;
library)
    # The figure dialog takes a material library: its colours, and its
    # name in the reports; the map is the batch command's with --mtl.
    press "$main" alt+m
    choose open "$MESHQ" "" Figure.obj
    choose save "$OUTQ" "$work/Figuretex.bmp" lib.bmp
    box yesnocancel "" "$KINDQ" y
    box yesno "" "$SEPQ" n
    choose open "$CR2Q" "" Figure.mtl
    titles "$STAGE_READLIBRARY"
    box yesno "" "$INVQ" n
    expect input "$SIZEQ" "640"
    w=$(window uvpaint-input "") || exit 1
    typein "$w" 256
    press "$w" Return
    titles "$STAGE_READMESH" "$STAGE_MATCH"
    box warning "${CR2ONLY/.CR2/.MTL}" "hair" Return
    box warning "${OBJONLY/.CR2/.MTL}" "Belt" Return
    titles "$STAGE_PAINT" "$STAGE_MARGIN" "$STAGE_EDGES" "$STAGE_FINISHED"
    box message "$CREATED" "$work/lib.bmp" Return
    ends 0
    nomore
    samebytes lib.bmp --obj Figure.obj --mtl Figure.mtl --out batch.bmp --kind colored --size 256
    ;;
mesh)
    # A mesh map; the size is first answered with a letter, which brings the
    # input dialog back; a size typed there and left with Escape is not
    # taken: the proposed 640 stands.
    press "$main" alt+m
    choose open "$MESHQ" "" Figure.obj
    choose save "$OUTQ" "$work/Figuretex.bmp" mesh.bmp
    box yesnocancel "" "$KINDQ" n
    box yesno "" "$SEPQ" n
    box yesno "" "$INVQ" y
    expect input "$SIZEQ" "640"
    w=$(window uvpaint-input "") || exit 1
    typein "$w" x
    press "$w" Return
    expect input "$SIZEQ" "640"
    w=$(window uvpaint-input "") || exit 1
    typein "$w" 512
    press "$w" Escape
    titles "$STAGE_READMESH" "$STAGE_PAINT" "$STAGE_INVERT" "$STAGE_FINISHED"
    box message "$CREATED" "$work/mesh.bmp" Return
    ends 0
    nomore
    samebytes mesh.bmp --obj Figure.obj --out batch.bmp --kind mesh --invert --size 640
    ;;
transparency)
    # Close boxes: the three-way question gives Cancel (a transparency map),
    # yes/no gives No, the input dialog keeps its proposed 640.
    press "$main" alt+m
    choose open "$MESHQ" "" Figure.obj
    choose save "$OUTQ" "$work/Figuretex.bmp" tr.bmp
    box yesnocancel "" "$KINDQ" close
    box yesno "" "$SEPQ" close
    box yesno "" "$BWQ" y
    choose open "$CR2Q" "" Figure.cr2
    titles "$STAGE_READFIGURE"
    box yesno "" "$INVQ" n
    expect input "$SIZEQ" "640"
    w=$(window uvpaint-input "") || exit 1
    typein "$w" 300
    closewindow "$w"
    titles "$STAGE_READMESH" "$STAGE_MATCH"
    reports
    titles "$STAGE_PAINT" "$STAGE_MARGIN" "$STAGE_EDGES" "$STAGE_FINISHED"
    box message "$CREATED" "$work/tr.bmp" Return
    ends 0
    nomore
    samebytes tr.bmp --obj Figure.obj --cr2 Figure.cr2 --out batch.bmp --kind transparency \
        --black-transparent --size 640
    ;;
check)
    # The check command: the report in a box that scrolls, the picture in the
    # file chosen, and the window stays for another command.
    press "$main" alt+c
    choose open "$MESHQ" "" Figure.obj
    titles "$STAGE_READMESH" "$STAGE_CHECK"
    box report "UV check" "" Return
    choose save "$Q_CHECKPICTURE" "$work/Figurecheck.png" check.bmp
    expect input "$SIZEQ" "640"
    w=$(window uvpaint-input "") || exit 1
    typein "$w" 64
    press "$w" Return
    titles "$STAGE_PAINT" "$STAGE_FINISHED"
    box message "$CREATED" "$work/check.bmp" Return
    alive || fail "the check closed the program"
    press "$main" alt+x
    ends 0
    nomore
    samebytes check.bmp --obj Figure.obj --kind check --size 64 --out batch.bmp
    ;;
checkonly)
    # A cancelled output dialog makes a check-only run: the reports, no file,
    # and the window closes.
    press "$main" alt+m
    choose open "$MESHQ" "" Figure.obj
    expect save "$OUTQ" "$work/Figuretex.bmp"
    w=$(window uvpaint "$OUTQ") || exit 1
    press "$w" Escape
    box warning "this is not a .bmp filename" "$work/Figuretex.bmp" Return
    choose open "$CR2Q" "" Figure.cr2
    titles "$STAGE_READFIGURE" "$STAGE_READMESH" "$STAGE_MATCH"
    reports
    titles "$STAGE_FINISHED"
    ends 0
    nomore
    ls "$work"/*.bmp >/dev/null 2>&1 && fail "a check-only run wrote $(ls "$work"/*.bmp)"
    ;;
gtkopen)
    # GTK's open dialog takes the name of no file (FLTK's own refuses it
    # itself): the dialog comes back with the name, and a cancel there
    # leaves nothing proposed, as the Windows dialog does.
    press "$main" alt+m
    expect open "$MESHQ" ""
    w=$(window uvpaint "$MESHQ") || exit 1
    press "$w" ctrl+l
    typein "$w" "$work/nosuch.obj"
    sleep 0.5
    press "$w" Return
    nowindow "$w"
    box warning "this file does not exist" "$work/nosuch.obj" Return
    dismiss open "$MESHQ" "$work/nosuch.obj"
    press "$main" alt+m
    dismiss open "$MESHQ" ""
    closewindow "$main"
    ends 0
    nomore
    ;;
openwith)
    # The mesh named is the first run's proposal.
    press "$main" alt+m
    dismiss open "$MESHQ" Figure.obj
    closewindow "$main"
    ends 0
    nomore
    ;;
cancel)
    # Runs that stop early leave the window open with its own title, and the
    # next run proposes the mesh chosen before; the close box does nothing
    # while a run is up and ends the program otherwise.
    press "$main" alt+m
    dismiss open "$MESHQ" ""
    press "$main" alt+m
    choose open "$MESHQ" "" Figure.obj
    choose save "$OUTQ" "$work/Figuretex.bmp" c.bmp
    expect yesnocancel "" "$KINDQ"
    closewindow "$main"
    w=$(window uvpaint-question "") || exit 1
    press "$w" y
    box yesno "" "$SEPQ" n
    dismiss open "$CR2Q" ""
    alive || fail "a stopped run ended the program"
    [ "$(xdotool getwindowname "$main")" = UVPAINTR ] || fail "title after a stopped run: $(xdotool getwindowname "$main")"
    press "$main" alt+m
    dismiss open "$MESHQ" "$work/Figure.obj"
    closewindow "$main"
    ends 0
    nomore
    ls "$work"/*.bmp >/dev/null 2>&1 && fail "a stopped run wrote $(ls "$work"/*.bmp)"
    ;;
*)
    fail "no scenario $scenario"
    ;;
esac
echo "desktop $scenario: passed"
