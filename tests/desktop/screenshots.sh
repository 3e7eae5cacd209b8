#!/bin/bash
# Takes the screenshots of the desktop program for the documentation:
#   screenshots.sh UVPAINT DATA CLOSEWINDOW FOLDER
# writes FOLDER/linux-main.png, linux-question.png and linux-input.png.
set -u
[ $# -eq 4 ] || { echo "usage: screenshots.sh UVPAINT DATA CLOSEWINDOW FOLDER" >&2; exit 2; }
APP=$1
DATA=$2
CLOSER=$3
docs=$(cd "$4" && pwd) || exit 2
. "$(dirname "$0")/lib.sh"

startx
startapp
sleep 0.5
shot "$docs/linux-main.png"
press "$main" alt+m
choose open "file to read mesh from?" "" Figure.obj
choose save "file to output texture map to? (cancel = only check materials)" "$work/Figuretex.bmp" shot.bmp
expect yesnocancel "" "what sort of texture map do you want? (yes = colored, no = mesh, cancel = transparency)"
w=$(window uvpaint-question "") || exit 1
sleep 0.5
shot "$docs/linux-question.png"
press "$w" n
box yesno "" "do you want me to output a separate map file for each material?" n
box yesno "" "Do you want me to output the texture map inverted top/bottom?" n
expect input "size of texture map?" "640"
w=$(window uvpaint-input "") || exit 1
sleep 0.5
shot "$docs/linux-input.png"
closewindow "$w"
closewindow "$main"
echo "screenshots in $docs"
