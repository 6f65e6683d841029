# shellcheck shell=bash
# What the Windows end-to-end tests share: the portable zip unpacked into a
# folder of the test's own, readers (the Linux reader simulator) behind the
# test's own COM port of wine, Windows programs under wine on the X server
# ctest runs on, and the cleanup. ctest passes ZIP, WINE_RUN, WINEPREFIX,
# SIMULATOR, RECEIVER, KEYBOARD and PORT.
set -euo pipefail
export LC_ALL=C.UTF-8 # wine takes its programs' arguments in the locale's encoding

if [ -z "${DISPLAY:-}" ]; then
    echo "Needs an X server: run ctest under xvfb-run."
    exit 77
fi
for program in pelvaro.exe pelvaro-read.exe; do
    if [ "$(dirname "$RECEIVER")/$program" -nt "$ZIP" ]; then
        echo "$ZIP is older than $program: build the target portable-zip first." >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pelvaro-e2e.XXXXXX")
app=$work/Pelvaro
com=$WINEPREFIX/dosdevices/com$PORT
children=()

finish() {
    local status=$?
    if [ "$status" -ne 0 ]; then
        import -window root "$PWD/$(basename "$0" .sh)-failure.png" 2>/dev/null || true
        tail -n 30 "$work"/*.log >&2 || true
        if [ -n "${typed:-}" ]; then od -c "$typed" >&2; fi
    fi
    kill "${children[@]}" 2>/dev/null || true
    wait || true
    if [ "$(readlink "$com")" = "$work/reader" ]; then rm -f "$com"; fi
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT

(cd "$work" && cmake -E tar xf "$ZIP")
# The prefix is made on first use; its dosdevices are the COM ports. Ours
# leads to $work/reader, which plug_reader points at a reader.
"$WINE_RUN" cmd.exe /c exit >/dev/null 2>&1
ln -sfn "$work/reader" "$com"

# Runs COMMAND until it succeeds, for at most SECONDS.
poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Like poll; a test ends failed with WHAT when COMMAND never succeeds.
await() {
    local what=$1
    shift
    poll "$@" || { echo "FAILED: $what" >&2; exit 1; }
}

# A test ends failed unless FILE holds exactly TEXT (printf escapes).
expect_file() {
    cmp -s "$1" <(printf '%b' "$2") && return 0
    echo "FAILED: $(basename "$1") holds" >&2
    od -c "$1" >&2
    exit 1
}

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Writes Pelvaro.ini beside the program, one argument a line.
settings() { printf '%s\r\n' "$@" >"$app/Pelvaro.ini"; }

# Starts PROGRAM under wine in the background, its standard output into LOG.
start_windows() {
    local log=$1
    shift
    "$WINE_RUN" "$@" >"$log" 2>>"$work/wine-errors.log" &
    children+=($!)
}

# Starts a reader in place of any before it. hold KEY presses a key of the
# simulator: 1-9 hold a card to it, h pulls its plug.
plug_reader() {
    local fifo=$work/$1.keys
    reader_log=$work/$1.log
    mkfifo "$fifo"
    "$SIMULATOR" <"$fifo" >"$reader_log" 2>&1 &
    children+=($!)
    exec {keys}>"$fifo"
    await "a reader's device" 10 grep -q '^Gerät: ' "$reader_log"
    device=$(sed -n 's/^Gerät: //p' "$reader_log")
    ln -sfn "$device" "$work/reader"
}
hold() { echo "$1" >&"$keys"; }
# A program holds the reader's line once it has set it to 9600 baud, and
# puts the line back as it was when it lets go.
line_held() { [ "$(stty -F "$device" speed 2>/dev/null)" = 9600 ]; }
line_free() { ! line_held; }

# Whether the window whose title matches REGEX has wine's keyboard focus
# (the X server's stays with the pointer).
focused() { "$WINE_RUN" "$KEYBOARD" 2>/dev/null | grep -q -- "$1"; }
# Types TEXT into the window with the focus, a line break as ENTER.
type_text() { "$WINE_RUN" "$KEYBOARD" "$1"; }

# The visible window whose title matches REGEX, once there is one.
window_named() {
    await "a window '$1'" 30 xdotool search --onlyvisible --name "$1" >/dev/null
    xdotool search --onlyvisible --name "$1" | head -n 1
}
no_window() { ! xdotool search --onlyvisible --name "$1" >/dev/null; }

# The window that typed keys reach, its text in $typed.
start_receiver() {
    typed=$work/typed.txt
    start_windows "$work/receiver.log" "$RECEIVER" "Empfänger $PORT" "$(windows_path "$typed")"
    await "the receiver's window" 30 test -f "$typed"
}
# Clicks into the receiver until it has the keyboard focus.
activate_receiver() {
    local window
    window=$(window_named "^Empfänger $PORT\$")
    for _ in 1 2 3 4 5; do
        xdotool mousemove --window "$window" 200 120 click 1
        poll 3 focused "^Empfänger $PORT\$" && return 0
    done
    echo "FAILED: the receiver does not get the keyboard focus" >&2
    exit 1
}
# Whether the receiver holds exactly TEXT (printf escapes: \r\n for ENTER).
typed_is() { cmp -s "$typed" <(printf '%b' "$1"); }

# Whether the LED of the first icon in wine's notification area is red or
# yellow.
led() {
    local tray rgb red green
    tray=$(xdotool search --onlyvisible --name '^Wine System Tray$' | head -n 1)
    [ -n "$tray" ] || return 1
    rgb=$(import -window "$tray" -crop 1x1+10+12 -depth 8 txt:- | grep -o 'srgb([0-9,]*)') || return 1
    IFS='(,)' read -r _ red green _ <<<"$rgb"
    case $1 in
    red) [ "$red" -gt 200 ] && [ "$green" -lt 100 ] ;;
    yellow) [ "$red" -gt 200 ] && [ "$green" -gt 200 ] ;;
    esac
}
