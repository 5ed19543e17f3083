#!/bin/bash
# The real program, driven as a user drives it: its own X server, its own settings folder, a
# folder of real icon files mapped as drive T:, the mouse and keyboard through xdotool. Every step
# leaves a screenshot in the output folder and fails the run when its effect is not seen (files,
# settings, window title, pixels where the grid must show icons).
#
#   run-e2e.sh PROGRAM OUTPUT_FOLDER
#
# Exit status 77 (skipped) when the X server or the driving tools are missing.
set -u -o pipefail

PROGRAM=${1:?usage: run-e2e.sh PROGRAM OUTPUT_FOLDER}
OUT=${2:?usage: run-e2e.sh PROGRAM OUTPUT_FOLDER}
HERE=$(cd "$(dirname "$0")" && pwd)
PIXELS="$HERE/pixels.py"
STARTED=$SECONDS

skip() {
    echo "SKIPPED: $*"
    exit 77
}

for tool in Xvfb xdotool import convert python3; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (packages xvfb, xdotool, imagemagick, python3)"
done
ICON_READER=
if command -v icotool >/dev/null 2>&1; then
    ICON_READER=icotool
elif command -v identify >/dev/null 2>&1; then
    ICON_READER=identify
fi
[ -x "$PROGRAM" ] || { echo "FAIL: no program at $PROGRAM"; exit 1; }

mkdir -p "$OUT"
rm -f "$OUT"/*.png "$OUT"/*.log
WORK=$(mktemp -d "${TMPDIR:-/tmp}/glyptor-e2e.XXXXXX")
XVFB_PID=
APP_PID=

cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

log() { printf '[%3ds] %s\n' $((SECONDS - STARTED)) "$*"; }

SHOT_NUMBER=0
LAST_SHOT=
# shot NAME: the whole screen into OUT/NN-NAME.png; LAST_SHOT names the file.
shot() {
    SHOT_NUMBER=$((SHOT_NUMBER + 1))
    LAST_SHOT=$(printf '%s/%02d-%s.png' "$OUT" "$SHOT_NUMBER" "$1")
    import -window root "$LAST_SHOT"
}

fail() {
    echo "FAIL: $*"
    shot failure 2>/dev/null && echo "screen at failure: $LAST_SHOT"
    [ -n "$APP_PID" ] && echo "program log: $OUT/glyptor.log"
    exit 1
}

pixels() { python3 "$PIXELS" "$@"; }

# until SECONDS_LIMIT COMMAND...: runs COMMAND every 0.2 s until it succeeds or time is up.
until_true() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    while ! "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.2
    done
}

# --- The X server ----------------------------------------------------------------------------
# -displayfd lets the server take a free display number itself and say which one once it is
# ready, so parallel runs cannot collide.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" 2>"$OUT/xvfb.log" &
XVFB_PID=$!
until_true 10 test -s "$WORK/display" || skip "Xvfb did not start (see $OUT/xvfb.log)"
DISPLAY=":$(head -n 1 "$WORK/display")"
export DISPLAY
xdotool getdisplaygeometry >/dev/null || skip "cannot talk to the X server on $DISPLAY"
log "X server on $DISPLAY"

# --- The icon folder: drive T: ----------------------------------------------------------------
DRIVE="$WORK/drive"
mkdir -p "$DRIVE/Icons" "$DRIVE/Other" "$WORK/saved" "$WORK/config/Brindlow" "$WORK/home" "$WORK/data" \
    "$WORK/runtime"
chmod 700 "$WORK/runtime"
make_icon() { # NAME COLOUR SHAPE-COLOUR
    convert -size 32x32 "xc:$2" -fill "$3" -draw 'circle 16,16 16,6' -draw 'rectangle 2,2 9,9' \
        "$1" || fail "cannot write the icon $1"
}
make_icon "$DRIVE/Icons/red.ico" red yellow
make_icon "$DRIVE/Icons/green.ico" green white
make_icon "$DRIVE/Icons/blue.ico" blue orange
make_icon "$DRIVE/Icons/purple.ico" purple cyan
convert -size 32x32 gradient:white-navy -fill red -draw 'line 0,0 31,31' "BMP3:$DRIVE/Icons/picture.bmp"
make_icon "$DRIVE/Other/only.ico" teal magenta
# More icons than a screen holds, for scrolling: eleven pictures in turn, so that the grid looks
# different one column further on whatever the number of rows. Last in the tree.
MANY_COUNT=330
mkdir -p "$DRIVE/Zmany"
MANY_COLOURS=(red lime blue yellow magenta cyan orange white purple gray pink)
for i in "${!MANY_COLOURS[@]}"; do
    make_icon "$WORK/many$i.ico" "${MANY_COLOURS[$i]}" black
done
for i in $(seq 0 $((MANY_COUNT - 1))); do
    cp "$WORK/many$((i % ${#MANY_COLOURS[@]})).ico" "$(printf '%s/Zmany/n%03d.ico' "$DRIVE" "$i")"
done
convert -size 32x32 xc:gold -fill black -draw 'rectangle 8,8 23,23' "BMP3:$DRIVE/Other/picture.bmp"
# Windows programs and libraries, when Wine's are installed: real resource directories.
ICON_COUNT=5
WINE=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
PE_FILES=0
for name in winemine.exe notepad.exe regedit.exe; do
    [ -f "$WINE/$name" ] || continue
    cp "$WINE/$name" "$DRIVE/Icons/"
    PE_FILES=$((PE_FILES + 1))
done
if [ -f "$WINE/notepad.exe" ]; then
    cp "$WINE/notepad.exe" "$DRIVE/Other/"
fi
# The icons a user must see: one per .ico and .bmp file, one per icon group of each program,
# counted by wrestool (icoutils); without it each program counts at least one.
EXACT_COUNT=1
if [ $PE_FILES -gt 0 ]; then
    command -v wrestool >/dev/null 2>&1 || EXACT_COUNT=0
    for file in "$DRIVE"/Icons/*.exe; do
        groups=1
        if [ $EXACT_COUNT -eq 1 ]; then
            groups=$(wrestool -l --type=14 "$file" 2>/dev/null | wc -l)
        fi
        ICON_COUNT=$((ICON_COUNT + groups))
    done
fi
log "drive T: holds $ICON_COUNT icons in T:\\Icons ($PE_FILES Windows programs)"

# --- The settings ------------------------------------------------------------------------------
# A grid colour that nothing else on the screen has, so its pixels mark the grid.
START_GRID=1F3F5F          # as RRGGBB on the screen
START_GRID_VALUE=$((0x5F3F1F)) # as the setting stores it: 0x00BBGGRR
WIN_X=40 WIN_Y=30 WIN_W=900 WIN_H=600 FILES_W=240
CONFIG="$WORK/config/Brindlow/Glyptor.conf"
cat >"$CONFIG" <<EOF
[General]
LastDir=T:\\\\Icons
Mask=
SubFolders=0
Theme=default
iconboxcolor=$START_GRID_VALUE
WinLeft=$WIN_X
WinTop=$WIN_Y
WinWidth=$WIN_W
WinHeight=$WIN_H
browserwidth=$FILES_W

[Drives]
T=$DRIVE
EOF

# setting NAME: the value the program wrote, with the INI file's doubled backslashes undone.
setting() {
    sed -n "s/^$1=//p" "$CONFIG" | head -n 1 | sed 's/\\\\/\\/g'
}

# --- Starting, finding and closing the window ------------------------------------------------
WID=
# FILE_LIMIT, when set, is the program's file size limit in blocks (ulimit -f).
start_program() {
    (
        [ -z "${FILE_LIMIT:-}" ] || ulimit -f "$FILE_LIMIT"
        exec env XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" XDG_CACHE_HOME="$WORK/cache" \
            XDG_RUNTIME_DIR="$WORK/runtime" HOME="$WORK/home" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$PROGRAM"
    ) >>"$OUT/glyptor.log" 2>&1 &
    APP_PID=$!
    WID=$(timeout 20 xdotool search --sync --onlyvisible --name 'Главное' | head -n 1)
    [ -n "$WID" ] || fail "the main window (title containing \"Главное\") did not appear"
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    WX=$X WY=$Y WW=$WIDTH WH=$HEIGHT
    # Places inside the window, from its layout: the folder pane is the right column, the tree
    # under the 42-pixel title and the 10-pixel options strip, above the 38-pixel tool strip.
    FILES_X=$((WX + WW - 1 - FILES_W))
    TREE_TOP=$((WY + 52))
    TREE_BOTTOM=$((WY + WH - 39))
    TREE_PROBE_X=$((WX + WW - 12))
    OPTIONS_X=$((FILES_X + 30)) OPTIONS_Y=$((WY + 46))
    EXIT_X=$((WX + WW - 1 - 14 - 15)) EXIT_Y=$((WY + WH - 38 + 15 + 11))
    NEUTRAL_X=$((WX + 300)) NEUTRAL_Y=$((WY + 12))
    log "window $WID at ${WX},${WY} size ${WW}x${WH}"
}

visible_windows() { xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | wc -l; }

# Counted anew at each call: until_true repeats its command, not the command's arguments.
more_windows_than() { [ "$(visible_windows)" -gt "$1" ]; }
at_most_windows() { [ "$(visible_windows)" -le "$1" ]; }
# wait_popup BEFORE: waits until the program shows more windows than BEFORE (a menu, a dialog).
wait_popup() { until_true 10 more_windows_than "$1"; }

# The program's visible window whose title matches a pattern, found by the title and the
# process both (--all: with --pid as well as --name, xdotool would take either). Asked again and
# again rather than with --sync: a window closing while xdotool looks at it is an X error, not
# an answer.
window_titled() { xdotool search --all --onlyvisible --pid "$APP_PID" --name "$1" 2>/dev/null | head -n 1; }
# wait_window SECONDS PATTERN: FOUND is the window's id once it is there.
found_window() { FOUND=$(window_titled "$WANTED"); [ -n "$FOUND" ]; }
wait_window() { WANTED=$2; until_true "$1" found_window; }
save_dialog() { window_titled 'Save|Сохран'; }
dialog_open() { DIALOG=$(save_dialog); [ -n "$DIALOG" ]; }
no_dialog() { [ -z "$(save_dialog)" ]; }

program_ended() { ! kill -0 "$APP_PID" 2>/dev/null; }

close_program() {
    xdotool mousemove "$EXIT_X" "$EXIT_Y" click 1
    until_true 10 program_ended || fail "the window did not close after a click on the exit picture"
    wait "$APP_PID"
    local status=$?
    APP_PID=
    [ $status -eq 0 ] || fail "the program ended with status $status"
}

# Leaves the pointer where no picture of the window lights up under it.
rest_pointer() { xdotool mousemove "$NEUTRAL_X" "$NEUTRAL_Y"; sleep 0.3; }

# --- What the screen shows --------------------------------------------------------------------
GRID=
# find_grid COLOUR: the grid's viewport is the largest stretch of its background colour in the
# left pane. Sets GRID to "X Y W H".
find_grid() {
    GRID=$(pixels bbox "$LAST_SHOT" "$1" "$WX" "$WY" $((FILES_X - WX)) "$WH")
    [ "$GRID" != none ]
}

grid_cells() { pixels cells "$LAST_SHOT" "$1" $GRID; }

# The selected row of the tree: the band at the tree's right edge that is not its background.
SELECTED=
selected_row() {
    SELECTED=$(pixels rows "$LAST_SHOT" "$TREE_PROBE_X" "$TREE_TOP" "$TREE_BOTTOM" | head -n 1)
    [ -n "$SELECTED" ]
}

tree_background() { pixels pixel "$LAST_SHOT" "$TREE_PROBE_X" "$TREE_BOTTOM"; }

# shot_until NAME SECONDS COMMAND...: screenshots until COMMAND, run after each, succeeds.
shot_until() {
    local name=$1 limit=$2
    shift 2
    local deadline=$((SECONDS + limit))
    while :; do
        shot "$name"
        "$@" && return 0
        [ $SECONDS -ge $deadline ] && return 1
        rm -f "$LAST_SHOT"
        SHOT_NUMBER=$((SHOT_NUMBER - 1))
        sleep 0.3
    done
}

# options_menu KEYS...: opens the options menu from the strip under the title and types KEYS.
options_menu() {
    local before
    before=$(visible_windows)
    xdotool mousemove "$OPTIONS_X" "$OPTIONS_Y" click 1
    wait_popup "$before" || fail "the options menu did not open"
    sleep 0.2
    xdotool key --delay 80 "$@"
}

# choose_theme NAME: chooses NAME in "Вид" with the keyboard. The built-in look comes first,
# then the archives of the theme folder in the order the folder lists them.
choose_theme() {
    local keys=(Down Right) index=0 entry
    if [ "$1" != Обычный ]; then
        while read -r entry; do
            case $entry in
            *.[zZ][iI][pP]) index=$((index + 1)) ;;
            *) continue ;;
            esac
            [ "$entry" = "$1.zip" ] && break
        done < <(ls -U "$THEMES")
        for ((i = 0; i < index; i++)); do keys+=(Down); done
    fi
    options_menu "${keys[@]}" Return
}

# =============================================================================================
THEMES="$(dirname "$PROGRAM")/interface"

log "step 1: start"
start_program
rest_pointer
shot_until start 10 find_grid "$START_GRID" || fail "the grid does not show the stored grid colour #$START_GRID"
read -r GX GY GW GH <<<"$GRID"
[ "$GW" -gt 300 ] && [ "$GH" -gt 300 ] || fail "the grid is only ${GW}x${GH} pixels"
[ "$(grid_cells "$START_GRID")" -eq 0 ] || fail "the grid shows icons before any folder was scanned"
selected_row || fail "no selected folder in the tree at start (LastDir=T:\\Icons)"
read -r ROW_TOP ROW_BOTTOM <<<"$SELECTED"
ROW_HEIGHT=$((ROW_BOTTOM - ROW_TOP + 1))
START_SHOT=$LAST_SHOT
log "grid $GRID, selected tree row $SELECTED"

log "step 2: a click on the folder fills the grid"
xdotool mousemove "$((FILES_X + 60))" "$(((ROW_TOP + ROW_BOTTOM) / 2))" click 1
rest_pointer
has_all_icons() { find_grid "$START_GRID" && [ "$(grid_cells "$START_GRID")" -ge "$ICON_COUNT" ]; }
shot_until grid-filled 20 has_all_icons ||
    fail "the grid shows $(grid_cells "$START_GRID") icons after the click on T:\\Icons, expected $ICON_COUNT"
FILLED=$(grid_cells "$START_GRID")
[ "$FILLED" -eq "$ICON_COUNT" ] || [ $EXACT_COUNT -eq 0 ] || fail "the grid shows $FILLED icons, the folder holds $ICON_COUNT"
GRID_SHOT=$LAST_SHOT
# The picture for the README: the window with its grid full of icons.
convert "$GRID_SHOT" -crop "${WW}x${WH}+${WX}+${WY}" +repage "$OUT/screenshot.png"
log "grid shows $FILLED icons"

log "step 3: Сохранить значок как... -> 24-битный значок"
read -r GX GY GW GH <<<"$GRID"
FIRST_X=$((GX + 19)) FIRST_Y=$((GY + 19))
xdotool mousemove "$FIRST_X" "$FIRST_Y" click 1
before=$(visible_windows)
xdotool click 3
wait_popup "$before" || fail "no icon menu after a right click on the first icon"
sleep 0.2
shot icon-menu
# The save item, its submenu's first entry, then down to the fourth: 24-битный значок.
xdotool key --delay 80 Down Right Down Down Down
shot icon-menu-24bit
xdotool key Return
# The dialog is made on the first save, which takes a while in a sanitizer build.
until_true 30 dialog_open || fail "the save dialog did not open"
sleep 0.5
shot save-dialog
SAVED="$WORK/saved/first-24bit.ico"
xdotool key ctrl+a
xdotool type --delay 20 "$SAVED"
xdotool key Return
until_true 10 test -s "$SAVED" || fail "no file $SAVED after Enter in the save dialog"
sleep 0.5
rest_pointer
shot saved
cp "$SAVED" "$OUT/saved-24bit.ico"
case $ICON_READER in
icotool)
    listing=$(icotool -l "$SAVED") || fail "icotool cannot read the saved icon"
    echo "$listing" | grep -q -- '--bit-depth=24' || fail "the saved icon is not 24 bits: $listing"
    echo "$listing" | grep -q -- '--width=32 --height=32' || fail "the saved icon is not 32 x 32: $listing"
    icotool -x -o "$WORK/extracted.png" "$SAVED" || fail "icotool cannot extract the saved icon"
    ;;
identify)
    identify "$SAVED" >/dev/null || fail "identify cannot read the saved icon"
    convert "$SAVED" "$WORK/extracted.png"
    ;;
*)
    echo "no independent icon reader (icotool, identify): the saved file is only checked for its size"
    ;;
esac
if [ -f "$WORK/extracted.png" ]; then
    colours=$(pixels colours "$WORK/extracted.png" 0 0 32 32)
    [ "$colours" -gt 2 ] || fail "the saved icon has only $colours colours: its picture was lost"
    log "saved icon read by $ICON_READER: 32x32, 24 bits, $colours colours"
fi

log "step 3b: the full-quality export: group .ico, PNG, properties window"
# icon_menu_up N [Y]: the first icon's (or the icon at Y's) menu, N entries up from its last one, chosen.
icon_menu_up() {
    xdotool mousemove "$FIRST_X" "${2:-$FIRST_Y}" click 1
    local before
    before=$(visible_windows)
    xdotool click 3
    wait_popup "$before" || fail "no icon menu after a right click on the first icon"
    sleep 0.2
    for _ in $(seq "$1"); do xdotool key Up; sleep 0.08; done
    shot "icon-menu-up$1"
    xdotool key Return
}
# save_through_menu N FILE: the entry N up from the bottom opens a save dialog; FILE is typed.
save_through_menu() {
    until_true 10 no_dialog || fail "the last save dialog is still open"
    icon_menu_up "$1"
    until_true 30 dialog_open || fail "no save dialog after the entry $1 up from the bottom of the icon menu"
    sleep 0.5
    shot "save-dialog-up$1"
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
    xdotool key Return
    until_true 10 test -s "$2" || fail "no file $2 after Enter in the save dialog"
    sleep 0.3
}
GROUP="$WORK/saved/group.ico"
save_through_menu 4 "$GROUP" # "Сохранить группу значков..."
[ "$(head -c 4 "$GROUP" | od -An -tx1 | tr -d ' ')" = 00000100 ] || fail "$GROUP is not an icon file"
if [ "$ICON_READER" = icotool ]; then
    icotool -l "$GROUP" >/dev/null || fail "icotool cannot read the saved group"
fi
log "group saved: $(stat -c %s "$GROUP") bytes, $(od -An -tu2 -j4 -N2 "$GROUP" | tr -d ' ') images"
PNG="$WORK/saved/largest.png"
save_through_menu 3 "$PNG" # "Сохранить в PNG...", at its default size: the largest image
[ "$(head -c 8 "$PNG" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "$PNG is not a PNG file"
PNG_SIZE=$(identify -format '%wx%h' "$PNG") || fail "identify cannot read $PNG"
log "PNG saved: $PNG_SIZE, $(stat -c %s "$PNG") bytes"
cp "$GROUP" "$PNG" "$OUT/"
# "Свойства значка..." on the third icon: with Wine's programs in the folder, one of them.
icon_menu_up 5 $((FIRST_Y + 72))
wait_window 30 'Свойства значка' || fail "the properties window did not open"
PROPS=$FOUND
sleep 0.8
shot properties
# Without a window manager the window sits where X put it: xwininfo says where.
PX=$(xwininfo -id "$PROPS" | awk '/Absolute upper-left X/ {print $4}')
PY=$(xwininfo -id "$PROPS" | awk '/Absolute upper-left Y/ {print $4}')
PW=$(xwininfo -id "$PROPS" | awk '/Width:/ {print $2}')
PH=$(xwininfo -id "$PROPS" | awk '/Height:/ {print $2}')
convert "$LAST_SHOT" -crop "${PW}x${PH}+${PX}+${PY}" +repage "$OUT/properties-window.png"
xdotool windowfocus --sync "$PROPS"
xdotool key Escape
properties_closed() { ! xwininfo -id "$PROPS" 2>/dev/null | grep -q IsViewable; }
until_true 5 properties_closed ||
    fail "Escape did not close the properties window"
rest_pointer

log "step 4: themes light, Обычный, blue"
[ -f "$THEMES/light.zip" ] && [ -f "$THEMES/blue.zip" ] || fail "no sample themes in $THEMES"
title_differs() { [ "$(pixels differ "$1" "$LAST_SHOT" "$FILES_X" "$WY" "$FILES_W" 42)" -gt 0 ]; }
tree_is() { [ "$(tree_background)" = "$1" ]; }
# light: tree and grid white (browser.color and iconbox.color 16777215)
choose_theme light
rest_pointer
shot_until theme-light 10 tree_is FFFFFF || fail "the tree is #$(tree_background), not white, after choosing light"
title_differs "$START_SHOT" || fail "the title picture did not change with the light theme"
find_grid FFFFFF || fail "the grid is not white in the light theme"
LIGHT_SHOT=$LAST_SHOT
choose_theme Обычный
rest_pointer
shot_until theme-default 10 tree_is 000000 || fail "the tree is #$(tree_background), not black, back in the built-in look"
! title_differs "$START_SHOT" || fail "the title picture is not the built-in one again"
choose_theme blue
rest_pointer
# blue: tree $330000 and grid $330000 ($BBGGRR), that is #000033 on the screen
shot_until theme-blue 10 tree_is 000033 || fail "the tree is #$(tree_background), not #000033, after choosing blue"
title_differs "$LIGHT_SHOT" && title_differs "$START_SHOT" || fail "the title picture of blue is not its own"
BLUE_SHOT=$LAST_SHOT
find_grid 000033 || fail "the grid is not #000033 in the blue theme"

log "step 5: filter Значки (*.ICO) only, then the folder again"
# Down 1: Вид, 2: Все файлы, 3: DLL, 4: EXE, 5: ICO
options_menu Down Down Down Down Down Return
sleep 0.3
# Opened once more, to be seen with its check marks.
options_menu Down Down Down Down Down
shot filter-menu
xdotool key Escape
rest_pointer
xdotool mousemove "$((FILES_X + 60))" "$(((ROW_TOP + ROW_BOTTOM) / 2))" click 1
rest_pointer
only_icons() { find_grid 000033 && [ "$(grid_cells 000033)" -eq 4 ]; }
shot_until filter-ico 10 only_icons ||
    fail "with the .ICO filter the grid shows $(grid_cells 000033) icons, expected the 4 icon files"

log "step 6: grid colour"
xdotool mousemove "$((GX + GW - 20))" "$((GY + GH - 20))"
before=$(visible_windows)
xdotool click 3
wait_popup "$before" || fail "no icon menu after a right click on the empty grid"
sleep 0.2
shot grid-menu
before=$(visible_windows)
# Only "Цвет фона" is offered where no icon is selected; it is the last entry either way.
xdotool key Up Return
wait_window 30 'Colou?r|[Цц]вет' || fail "the colour dialog did not open"
COLOUR_DIALOG=$FOUND
sleep 0.5
shot colour-dialog
# The HTML field is reached by its mnemonic; Enter there presses the default button, OK.
CHOSEN_GRID=6B2D4A
CHOSEN_GRID_VALUE=$((0x4A2D6B))
xdotool key alt+h ctrl+a
xdotool type --delay 20 "#$CHOSEN_GRID"
xdotool key Return
until_true 5 at_most_windows "$before" || fail "the colour dialog did not close"
rest_pointer
chosen_colour() { find_grid "$CHOSEN_GRID" && [ "$(grid_cells "$CHOSEN_GRID")" -eq 4 ]; }
shot_until grid-colour 10 chosen_colour || fail "the grid is not #$CHOSEN_GRID with its 4 icons after the colour dialog"

log "step 7: another folder"
OTHER_Y=$((ROW_BOTTOM + 1 + ROW_HEIGHT / 2))
xdotool mousemove "$((FILES_X + 60))" "$OTHER_Y" click 1
rest_pointer
# T:\Other holds one icon file, one picture and (with Wine) one program: one icon passes the filter.
other_scanned() { find_grid "$CHOSEN_GRID" && [ "$(grid_cells "$CHOSEN_GRID")" -eq 1 ]; }
shot_until other-folder 10 other_scanned ||
    fail "T:\\Other shows $(grid_cells "$CHOSEN_GRID") icons with the .ICO filter, expected 1"
selected_row && [ "$SELECTED" = "$((ROW_BOTTOM + 1)) $((ROW_BOTTOM + ROW_HEIGHT))" ] ||
    fail "the selected tree row is at \"$SELECTED\", not the row under T:\\Icons"
OTHER_ROW=$SELECTED

log "step 8: close"
close_program
shot closed
[ "$(setting LastDir)" = 'T:\Other' ] || fail "LastDir is \"$(setting LastDir)\", not T:\\Other"
[ "$(setting Mask)" = .ICO ] || fail "Mask is \"$(setting Mask)\", not the .ICO filter"
[ "$(setting iconboxcolor)" = "$CHOSEN_GRID_VALUE" ] ||
    fail "iconboxcolor is \"$(setting iconboxcolor)\", not $CHOSEN_GRID_VALUE (#$CHOSEN_GRID)"
case $(setting Theme) in
*'\interface\blue.zip') ;;
*) fail "Theme is \"$(setting Theme)\", not the blue theme's archive" ;;
esac
cp "$CONFIG" "$OUT/Glyptor.conf"
log "settings written: LastDir=$(setting LastDir) Mask=$(setting Mask) iconboxcolor=$(setting iconboxcolor) Theme=$(setting Theme)"

log "step 9: start again"
start_program
rest_pointer
shot_until restarted 10 find_grid "$CHOSEN_GRID" || fail "the grid does not come back in #$CHOSEN_GRID"
[ "$(grid_cells "$CHOSEN_GRID")" -eq 0 ] || fail "the grid shows icons before any scan after the restart"
tree_is 000033 || fail "the tree is #$(tree_background), not the blue theme's #000033, after the restart"
[ "$(pixels differ "$BLUE_SHOT" "$LAST_SHOT" "$FILES_X" "$WY" "$FILES_W" 42)" -eq 0 ] ||
    fail "the title is not the blue theme's after the restart"
selected_row && [ "$SELECTED" = "$OTHER_ROW" ] ||
    fail "the selected tree row is at \"$SELECTED\" after the restart, not T:\\Other's ($OTHER_ROW)"
options_menu Down Down Down Down Down
shot restarted-filter-menu
xdotool key Escape
rest_pointer
xdotool mousemove "$((FILES_X + 60))" "$OTHER_Y" click 1
rest_pointer
shot_until restarted-other-folder 10 other_scanned ||
    fail "after the restart T:\\Other shows $(grid_cells "$CHOSEN_GRID") icons: the .ICO filter did not come back"

log "step 10: more icons than fit: the wheel scrolls, maximise and restore keep the grid"
xdotool mousemove "$((FILES_X + 60))" "$((OTHER_Y + ROW_HEIGHT))" click 1
rest_pointer
screen_full() { find_grid "$CHOSEN_GRID" && [ "$(grid_cells "$CHOSEN_GRID")" -ge 100 ]; }
shot_until many-icons 20 screen_full || fail "T:\\Zmany does not fill the grid ($(grid_cells "$CHOSEN_GRID") cells)"
MANY_SHOT=$LAST_SHOT
read -r GX GY GW GH <<<"$GRID"
# The scroll bar lies between the grid's background and the 8-pixel strip at the bottom.
[ $((WY + WH - 8 - GY - GH)) -ge 10 ] ||
    fail "no scroll bar under a grid of $MANY_COUNT icons (grid $GRID, window bottom $((WY + WH)))"
xdotool mousemove "$((GX + GW / 2))" "$((GY + GH / 2))" click 5 click 5
sleep 0.3
view_moved() { [ "$(pixels differ "$MANY_SHOT" "$LAST_SHOT" $GRID)" -gt 0 ]; }
shot_until wheel-down 5 view_moved || fail "the grid did not move with the mouse wheel"
xdotool click 4 click 4
sleep 0.3
view_back() { [ "$(pixels differ "$MANY_SHOT" "$LAST_SHOT" $GRID)" -eq 0 ]; }
shot_until wheel-up 5 view_back || fail "the wheel back up did not bring the first columns back"
SCREEN_W=$(xdotool getdisplaygeometry | cut -d' ' -f1)
xdotool mousemove "$((WX + WW - 11))" "$((WY + 11))" click 1
rest_pointer
maximised() {
    find_grid "$CHOSEN_GRID" && read -r _ _ MW _ <<<"$GRID" && [ "$MW" -gt "$GW" ] &&
        [ "$(grid_cells "$CHOSEN_GRID")" -ge $((MW / 39 * 8)) ]
}
shot_until maximised 10 maximised || fail "sb_max did not maximise the window with its grid full"
xdotool mousemove "$((SCREEN_W - 11))" 11 click 1
rest_pointer
restored() { [ "$(pixels differ "$MANY_SHOT" "$LAST_SHOT" "$WX" "$WY" "$WW" "$WH")" -eq 0 ]; }
shot_until restored 10 restored ||
    fail "after maximise and restore the window differs from before in $(pixels differ "$MANY_SHOT" "$LAST_SHOT" "$WX" "$WY" "$WW" "$WH") pixels"
close_program

log "step 11: under a file size limit a scan whose index cannot be written still ends"
# 8 KB: the settings fit, a new scan index does not.
rm -rf "$WORK/cache"
FILE_LIMIT=8 start_program
rest_pointer
xdotool mousemove "$((FILES_X + 60))" "$((OTHER_Y + ROW_HEIGHT))" click 1
rest_pointer
running() { kill -0 "$APP_PID" 2>/dev/null; }
limited_scan_done() { running && screen_full; }
if ! shot_until limited-scan 20 limited_scan_done; then
    running || { wait "$APP_PID"; fail "the program ended with status $? during the scan under a file size limit"; }
    fail "under a file size limit T:\\Zmany shows $(grid_cells "$CHOSEN_GRID") cells"
fi
sleep 1
running || { wait "$APP_PID"; fail "the program ended with status $? after the scan under a file size limit"; }
close_program

log "passed in $((SECONDS - STARTED)) s; screenshots in $OUT"
exit 0
