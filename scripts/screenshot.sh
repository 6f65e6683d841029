#!/usr/bin/env bash
# Screenshots of Pelvaro's windows for docs/: the main window, the redirect
# page, the settings dialog and the output dialog, taken on an X server of its own (Xvfb, no
# window manager, so the windows have no frames). Builds nothing.
#
#   bash scripts/screenshot.sh [PROGRAM]     (default: build/bin/pelvaro)
#
# Needs xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."

program=$(realpath "${1:-build/bin/pelvaro}")
docs=$PWD/docs
[ -x "$program" ] || { echo "no program at $program (build it first)" >&2; exit 1; }
mkdir -p "$docs"

work=$(mktemp -d)
xvfb_pid=""
program_pid=""
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "screenshot.sh: $*" >&2
    exit 1
}

# Runs "$@" every 50 ms until it succeeds; gives up after 15 s.
poll() {
    local tries=300
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.05
    done
}

# Xvfb picks a free display itself and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
poll test -s "$work/display" || fail "Xvfb did not start"
DISPLAY=":$(cat "$work/display")"
export DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The program reads Pelvaro.ini beside itself; Defaults=0 keeps it off the
# machine's serial ports.
cp "$program" "$work/pelvaro"
printf '[Ports]\nDefaults=0\n' >"$work/Pelvaro.ini"
# Bounded, so that a program that does not end cannot hold the script.
timeout 60 "$work/pelvaro" &
program_pid=$!

# The id of the first visible window whose title matches, in $found.
find_window() {
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$found" ]
}

# The id of a visible window of the program other than the main window, in $found.
find_other_window() {
    found=$(xdotool search --onlyvisible --classname '^pelvaro$' 2>/dev/null |
        grep -vx "$main" | head -n 1)
    [ -n "$found" ]
}

find_window_gone() {
    ! xdotool search --onlyvisible --classname '^pelvaro$' 2>/dev/null | grep -qx "$1"
}

window_size_is() {
    [ "$(xdotool getwindowgeometry "$main" | sed -n 's/^ *Geometry: //p')" = "$1" ]
}

# Shoots a window once two captures in a row agree, so it is fully painted.
shoot() {
    local window=$1 target=$2 previous="" current
    for _ in $(seq 100); do
        import -window "$window" -strip "$work/shot.png"
        current=$(md5sum <"$work/shot.png")
        if [ "$current" = "$previous" ]; then
            # Few colours: a palette image keeps the file small.
            convert "$work/shot.png" -strip -define png:compression-level=9 \
                PNG8:"$docs/$target"
            echo "docs/$target"
            return
        fi
        previous=$current
        sleep 0.1
    done
    fail "$target: the window did not settle"
}

poll find_window '^Pelvaro Version3$' || fail "the main window did not appear"
main=$found
# Without a window manager nobody gives the window the focus.
xdotool windowfocus --sync "$main"
shoot "$main" main-window.png

xdotool key ctrl+Tab
poll window_size_is 420x320 || fail "ctrl+Tab did not switch to the redirect page"
shoot "$main" redirect-page.png

# Optionen → Einstellungen; with no port the dialog first says so in a box.
xdotool key alt+o
poll find_other_window || fail "alt+o opened no menu"
xdotool key e
poll find_window '^(Einstellungen|Fehler)$' || fail "neither the dialog nor a message appeared"
if [ "$(xdotool getwindowname "$found")" = Fehler ]; then
    xdotool windowfocus --sync "$found" key Return
    poll find_window '^Einstellungen$' || fail "the settings dialog did not appear"
fi
dialog=$found
xdotool windowfocus --sync "$dialog"
shoot "$dialog" settings-dialog.png

# Escape is bound to nothing there: click "Abbrechen" (its centre, as placed
# in forms/TSettingsDlg.ui).
xdotool mousemove --window "$dialog" 172 276 click 1
poll find_window_gone "$dialog" || fail "Abbrechen did not close the settings dialog"

# Optionen → Ausgabe, with the worked example as its template.
xdotool windowfocus --sync "$main" key alt+o
poll find_other_window || fail "alt+o opened no menu"
xdotool key a
poll find_window '^Ausgabe$' || fail "the output dialog did not appear"
dialog=$found
xdotool windowfocus --sync "$dialog" key ctrl+a
xdotool type --delay 20 '{dec10}{tab}{w26}'
shoot "$dialog" output-dialog.png
xdotool key Escape
poll find_window_gone "$dialog" || fail "Escape did not close the output dialog"

# Datei → Beenden.
xdotool windowfocus --sync "$main" key alt+d
poll find_other_window || fail "alt+d opened no menu"
xdotool key b
wait "$program_pid" || fail "the program ended with status $? (124: it did not end)"
program_pid=""
